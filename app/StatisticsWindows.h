#pragma once
// The windows the Statistics menu opens beside the main window, one of each at
// a time, and the links between them: the per-frame chart and the comparison
// view. A click on a chart frame shows that frame in the comparison view
// (opening it when needed); the frame the view shows is marked on the chart.
// Both open within the screen's available area.

#include <QObject>
#include <QPointer>

class QWidget;
class CAnalysisWindow;
class CChartWindow;
class CTavroDoc;

class CStatisticsWindows : public QObject {
    Q_OBJECT
public:
    // pOwner: the main window the windows belong to (they close with it).
    CStatisticsWindows(CTavroDoc& doc, QWidget* pOwner);

    // Statistics > Per-frame Chart...: figures of every frame against the
    // comparison file. A new chart replaces the last one, which may show an
    // older stream. Messages go through Prompts().
    void OpenChart();
    // Statistics > Comparison View...: raises the open view, or opens one; then
    // shows nFrame when it is not 0.
    CAnalysisWindow* OpenComparisonView(int nFrame = 0);
    // The document may have changed: the comparison view follows it.
    void DocumentChanged();

    CChartWindow* Chart() const;
    CAnalysisWindow* ComparisonView() const;

private:
    CTavroDoc& m_doc;
    QWidget* m_pOwner;
    QPointer<CChartWindow> m_pChart;
    QPointer<CAnalysisWindow> m_pView;
};

// Sizes a top-level window to at most preferred and places it inside the
// available area of the screen its owner is on, frame included.
void PlaceOnScreen(QWidget* pWindow, QSize preferred, const QWidget* pOwner);
