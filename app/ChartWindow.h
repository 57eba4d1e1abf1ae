#pragma once
// A window that plots the loss of every frame of the document's raw stream
// against the comparison file: RMSE or PSNR of the whole frame and of the Y, U
// and V planes, each with its stream mean as a dashed line, a read-out of the
// frame under the pointer, and export of the figures (CSV) and the chart (PNG).
// It shows a copy of the figures, so the document may change while it is open.
// A click on the plot chooses a frame (frameChosen), a marker shows the frame a
// comparison view is on; Escape and Ctrl+W close the window.

#include <QString>
#include <QWidget>
#include <array>

#include "stats/PerFrameSeries.h"

class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;
class QSize;

class CChartWindow : public QWidget {
    Q_OBJECT
public:
    // strCaption names what is compared, e.g. "clip.qcf against ref.qcf".
    CChartWindow(SPerFrameSeries series, const QString& strCaption, QWidget* pParent = nullptr);

    const SPerFrameSeries& Series() const { return m_series; }
    bool IsPsnr() const { return m_bPsnr; }
    void SetPsnr(bool bPsnr);
    void SetSeriesShown(int nSeries, bool bShown);

    QChart* Chart() const { return m_pChart; }
    QChartView* ChartView() const { return m_pView; }
    QLineSeries* Line(int nSeries) const { return m_lines[size_t(nSeries)]; }
    QLineSeries* MeanLine(int nSeries) const { return m_means[size_t(nSeries)]; }
    QValueAxis* AxisX() const { return m_pAxisX; }
    QValueAxis* AxisY() const { return m_pAxisY; }
    QLabel* Readout() const { return m_pReadout; }

    // The read-out for 1-based frame nFrame (the shown series), or the hint
    // shown while the pointer is off the plot when nFrame is out of range.
    QString ReadoutText(int nFrame) const;
    void ShowReadout(int nFrame);

    // Ask for a file name (suggesting "<stream>_per_frame.csv" or
    // "<stream>_psnr.png") and write the figures as CSV / the chart as PNG at the
    // chosen size. False on Cancel or failure (after an "Error" message).
    bool ExportCsv();
    bool ExportPng();
    // The stream's name without extension, for the suggested file names.
    void SetFileStem(const QString& strStem) { m_strFileStem = strStem; }
    // The sizes Save PNG offers (pixels); the one chosen now.
    static QList<QSize> PngSizes();
    void SetPngSize(int nIndex);
    QSize PngSize() const;
    // The chart alone, titled, without the window's controls or the view's
    // frame and without the frame marker, at exactly size pixels.
    QImage ChartImage(const QSize& size);

    // Marks 1-based frame nFrame with a vertical line (0: no marker).
    void SetMarkedFrame(int nFrame);
    int MarkedFrame() const { return m_nMarkedFrame; }
    QLineSeries* Marker() const { return m_pMarker; }
    // A click on frame nFrame of the plot (as the chart view reports it).
    void ChooseFrame(int nFrame);

signals:
    // The user clicked frame nFrame of the plot.
    void frameChosen(int nFrame);
    // "Comparison View..." was pressed: the view should show nFrame.
    void comparisonViewRequested(int nFrame);

private:
    void Rebuild();
    void PlaceMarker();
    QString Unit() const;

    SPerFrameSeries m_series;
    QString m_strCaption;
    bool m_bPsnr = true;
    std::array<bool, SERIES_COUNT> m_shown{true, true, true, true};
    bool m_bAnyClipped = false;

    QComboBox* m_pMeasure = nullptr;
    std::array<QCheckBox*, SERIES_COUNT> m_checks{};
    QChart* m_pChart = nullptr;
    QChartView* m_pView = nullptr;
    QValueAxis* m_pAxisX = nullptr;
    QValueAxis* m_pAxisY = nullptr;
    std::array<QLineSeries*, SERIES_COUNT> m_lines{};
    std::array<QLineSeries*, SERIES_COUNT> m_means{};
    QLabel* m_pReadout = nullptr;
    QComboBox* m_pPngSize = nullptr;
    QLineSeries* m_pMarker = nullptr;
    int m_nMarkedFrame = 0;
    QString m_strFileStem = QStringLiteral("untitled");
};
