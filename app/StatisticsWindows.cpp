#include "app/StatisticsWindows.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "app/AnalysisWindow.h"
#include "app/ChartWindow.h"
#include "document/TavroDoc.h"
#include "io/Prompts.h"
#include "stats/ComparisonFrames.h"
#include "stats/PerFrameSeries.h"

void PlaceOnScreen(QWidget* pWindow, QSize preferred, const QWidget* pOwner) {
    QScreen* pScreen = pOwner != nullptr ? pOwner->screen() : QGuiApplication::primaryScreen();
    if (pScreen == nullptr) {
        pWindow->resize(preferred);
        return;
    }
    const QRect available = pScreen->availableGeometry();
    // Room for the window manager's frame, which is not known before showing.
    const QSize frame(16, 48);
    const QSize size = preferred.boundedTo(available.size() - frame)
                           .expandedTo(pWindow->minimumSizeHint())
                           .boundedTo(available.size() - frame);
    pWindow->resize(size);
    QPoint at = pOwner != nullptr ? pOwner->frameGeometry().topLeft() + QPoint(40, 40)
                                  : available.topLeft();
    at.setX(std::max(available.left(),
                     std::min(at.x(), available.right() - size.width() - frame.width())));
    at.setY(std::max(available.top(),
                     std::min(at.y(), available.bottom() - size.height() - frame.height())));
    pWindow->move(at);
}

CStatisticsWindows::CStatisticsWindows(CTavroDoc& doc, QWidget* pOwner)
    : QObject(pOwner), m_doc(doc), m_pOwner(pOwner) {}

CChartWindow* CStatisticsWindows::Chart() const {
    return m_pChart.data();
}

CAnalysisWindow* CStatisticsWindows::ComparisonView() const {
    return m_pView.data();
}

void CStatisticsWindows::OpenChart() {
    SPerFrameSeries series;
    std::string strError;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool bComplete = ComputeDocumentSeries(m_doc, series, &strError);
    QApplication::restoreOverrideCursor();
    if (!bComplete) {
        // A comparison file that shrank still charts the frames read before its end.
        Prompts().MessageBox(strError, "Error");
        if (series.rows.empty()) {
            return;
        }
    }
    const QString strCaption = QString::fromStdString(DescribeStream(m_doc)) +
                               QStringLiteral(" against ") +
                               QString::fromStdString(m_doc.m_strCompareName);
    delete m_pChart;
    m_pChart = new CChartWindow(std::move(series), strCaption, m_pOwner);
    m_pChart->setAttribute(Qt::WA_DeleteOnClose);
    m_pChart->SetFileStem(QString::fromStdString(FileStem(m_doc.GetTitle())));
    if (m_pView) {
        m_pChart->SetMarkedFrame(int(m_pView->Frame()));
    }
    connect(m_pChart, &CChartWindow::frameChosen, this,
            [this](int nFrame) { OpenComparisonView(nFrame); });
    connect(m_pChart, &CChartWindow::comparisonViewRequested, this,
            [this](int nFrame) { OpenComparisonView(nFrame); });
    PlaceOnScreen(m_pChart, QSize(900, 560), m_pOwner);
    m_pChart->show();
    m_pChart->raise();
}

CAnalysisWindow* CStatisticsWindows::OpenComparisonView(int nFrame) {
    if (!m_pView) {
        if (ComparableFrames(m_doc) == 0) {
            Prompts().MessageBox("There are no frames to compare.", "Error");
            return nullptr;
        }
        m_pView = new CAnalysisWindow(m_doc, m_pOwner);
        m_pView->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_pView, &CAnalysisWindow::frameChanged, this, [this](int n) {
            if (m_pChart) {
                m_pChart->SetMarkedFrame(n);
            }
        });
        connect(m_pView, &QObject::destroyed, this, [this] {
            if (m_pChart) {
                m_pChart->SetMarkedFrame(0);
            }
        });
        // Two panes' width at 2x for every pane, and room for the controls.
        PlaceOnScreen(m_pView, QSize(1140, 560), m_pOwner);
        if (m_pChart) {
            m_pChart->SetMarkedFrame(int(m_pView->Frame()));
        }
    }
    if (nFrame > 0) {
        m_pView->SetFrame(nFrame);
    }
    m_pView->show();
    m_pView->raise();
    m_pView->activateWindow();
    return m_pView;
}

void CStatisticsWindows::DocumentChanged() {
    if (m_pView) {
        m_pView->SyncDocument();
    }
}
