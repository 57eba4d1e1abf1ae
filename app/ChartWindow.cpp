#include "app/ChartWindow.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/PictureFiles.h"

namespace {

constexpr const char* SERIES_NAMES[SERIES_COUNT] = {"Whole frame", "Y", "U", "V"};
// Dark grey for the frame, then colours far apart for the planes.
const QColor SERIES_COLOURS[SERIES_COUNT] = {QColor(30, 30, 30), QColor(31, 119, 180),
                                             QColor(44, 160, 44), QColor(214, 39, 40)};

// Step between x-axis ticks giving about eight labels: 1, 2 or 5 times a power of ten.
double NiceStep(double dSpan) {
    const double dRaw = std::max(dSpan / 8, 1.0);
    const double dPower = std::pow(10.0, std::floor(std::log10(dRaw)));
    for (double dMul : {1.0, 2.0, 5.0}) {
        if (dMul * dPower >= dRaw) {
            return dMul * dPower;
        }
    }
    return 10 * dPower;
}

// The chart view reports the frame under the pointer (-1 off the plot).
class CHoverChartView : public QChartView {
public:
    CHoverChartView(QChart* pChart, CChartWindow* pWindow)
        : QChartView(pChart), m_pWindow(pWindow) {
        setMouseTracking(true);
        viewport()->setMouseTracking(true);
    }

protected:
    void mouseMoveEvent(QMouseEvent* pEvent) override {
        const QPointF pos = pEvent->position();
        int nFrame = -1;
        if (chart()->plotArea().contains(pos)) {
            nFrame = int(std::lround(chart()->mapToValue(pos).x()));
        }
        m_pWindow->ShowReadout(nFrame);
        QChartView::mouseMoveEvent(pEvent);
    }
    void mousePressEvent(QMouseEvent* pEvent) override {
        const QPointF pos = pEvent->position();
        if (pEvent->button() == Qt::LeftButton && chart()->plotArea().contains(pos)) {
            m_pWindow->ChooseFrame(int(std::lround(chart()->mapToValue(pos).x())));
        }
        QChartView::mousePressEvent(pEvent);
    }
    void leaveEvent(QEvent* pEvent) override {
        m_pWindow->ShowReadout(-1);
        QChartView::leaveEvent(pEvent);
    }

private:
    CChartWindow* m_pWindow;
};

// Frame markers and chart exports: an orange that none of the series use.
const QColor MARKER_COLOUR(255, 127, 14);
// Save PNG draws the chart at this logical width or less, scaled up to the
// chosen width, so text keeps its proportion to the plot at every size.
constexpr double PNG_LOGICAL_WIDTH = 1000.0;

}  // namespace

CChartWindow::CChartWindow(SPerFrameSeries series, const QString& strCaption, QWidget* pParent)
    : QWidget(pParent, Qt::Window), m_series(std::move(series)), m_strCaption(strCaption) {
    setObjectName(QStringLiteral("ChartWindow"));
    setWindowTitle(QStringLiteral("Per-frame Chart - ") + strCaption);
    for (const SPerFrameRow& row : m_series.rows) {
        for (int n = SERIES_Y; n < SERIES_COUNT; ++n) {
            m_bAnyClipped = m_bAnyClipped || SPerFrameSeries::IsClipped(row, n);
        }
    }

    auto* pControls = new QHBoxLayout;
    pControls->addWidget(new QLabel(QStringLiteral("Show:"), this));
    m_pMeasure = new QComboBox(this);
    m_pMeasure->setObjectName(QStringLiteral("Measure"));
    m_pMeasure->addItems({QStringLiteral("PSNR"), QStringLiteral("RMSE")});
    pControls->addWidget(m_pMeasure);
    connect(m_pMeasure, &QComboBox::currentIndexChanged, this,
            [this](int nIndex) { SetPsnr(nIndex == 0); });
    for (int n = 0; n < SERIES_COUNT; ++n) {
        auto* pCheck = new QCheckBox(QString::fromLatin1(SERIES_NAMES[n]), this);
        pCheck->setObjectName(QStringLiteral("Series%1").arg(n));
        pCheck->setChecked(true);
        connect(pCheck, &QCheckBox::toggled, this, [this, n](bool bOn) { SetSeriesShown(n, bOn); });
        pControls->addWidget(pCheck);
        m_checks[size_t(n)] = pCheck;
    }
    pControls->addStretch(1);
    // The buttons on a row of their own, so the window stays narrow at large scales.
    auto* pButtons = new QHBoxLayout;
    auto* pOpenView = new QPushButton(QStringLiteral("Comparison View..."), this);
    pOpenView->setObjectName(QStringLiteral("OpenComparisonView"));
    pOpenView->setToolTip(
        QStringLiteral("Show the reference, the stream and their difference at the marked frame"));
    connect(pOpenView, &QPushButton::clicked, this,
            [this] { emit comparisonViewRequested(std::max(m_nMarkedFrame, 1)); });
    pButtons->addWidget(pOpenView);
    pButtons->addStretch(1);
    auto* pCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
    pCsv->setObjectName(QStringLiteral("ExportCsv"));
    connect(pCsv, &QPushButton::clicked, this, [this] { ExportCsv(); });
    m_pPngSize = new QComboBox(this);
    m_pPngSize->setObjectName(QStringLiteral("PngSize"));
    for (const QSize& size : PngSizes()) {
        m_pPngSize->addItem(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()));
    }
    m_pPngSize->setCurrentIndex(1);
    m_pPngSize->setToolTip(QStringLiteral("Size of the picture Save PNG... writes, in pixels"));
    auto* pPng = new QPushButton(QStringLiteral("Save PNG..."), this);
    pPng->setObjectName(QStringLiteral("ExportPng"));
    connect(pPng, &QPushButton::clicked, this, [this] { ExportPng(); });
    pButtons->addWidget(pCsv);
    pButtons->addWidget(m_pPngSize);
    pButtons->addWidget(pPng);

    m_pChart = new QChart;
    m_pChart->legend()->setAlignment(Qt::AlignBottom);
    m_pAxisX = new QValueAxis;
    m_pAxisX->setTitleText(QStringLiteral("Frame"));
    m_pAxisX->setLabelFormat(QStringLiteral("%d"));
    m_pAxisY = new QValueAxis;
    m_pChart->addAxis(m_pAxisX, Qt::AlignBottom);
    m_pChart->addAxis(m_pAxisY, Qt::AlignLeft);
    for (int n = 0; n < SERIES_COUNT; ++n) {
        auto* pLine = new QLineSeries;
        pLine->setPen(QPen(SERIES_COLOURS[n], n == SERIES_FRAME ? 2.5 : 1.5));
        auto* pMean = new QLineSeries;
        pMean->setPen(QPen(SERIES_COLOURS[n], 1.2, Qt::DashLine));
        for (QLineSeries* p : {pLine, pMean}) {
            m_pChart->addSeries(p);
            p->attachAxis(m_pAxisX);
            p->attachAxis(m_pAxisY);
        }
        // The mean's value is in its series' legend entry.
        m_pChart->legend()->markers(pMean).value(0)->setVisible(false);
        m_lines[size_t(n)] = pLine;
        m_means[size_t(n)] = pMean;
    }
    m_pMarker = new QLineSeries;
    m_pMarker->setName(QStringLiteral("Shown frame"));
    m_pMarker->setPen(QPen(MARKER_COLOUR, 1.5));
    m_pChart->addSeries(m_pMarker);
    m_pMarker->attachAxis(m_pAxisX);
    m_pMarker->attachAxis(m_pAxisY);
    m_pChart->legend()->markers(m_pMarker).value(0)->setVisible(false);
    m_pView = new CHoverChartView(m_pChart, this);
    m_pView->setRenderHint(QPainter::Antialiasing);
    m_pView->setMinimumSize(320, 200);

    m_pReadout = new QLabel(this);
    m_pReadout->setObjectName(QStringLiteral("Readout"));
    m_pReadout->setWordWrap(true);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pControls);
    pLayout->addWidget(m_pView, 1);
    pLayout->addWidget(m_pReadout);
    pLayout->addLayout(pButtons);
    resize(900, 560);
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* pShortcut = new QShortcut(key, this);
        connect(pShortcut, &QShortcut::activated, this, &QWidget::close);
    }
    Rebuild();
}

void CChartWindow::SetPsnr(bool bPsnr) {
    m_bPsnr = bPsnr;
    m_pMeasure->setCurrentIndex(bPsnr ? 0 : 1);
    Rebuild();
}

void CChartWindow::SetSeriesShown(int nSeries, bool bShown) {
    if (nSeries < 0 || nSeries >= SERIES_COUNT) {
        return;
    }
    m_shown[size_t(nSeries)] = bShown;
    m_checks[size_t(nSeries)]->setChecked(bShown);
    Rebuild();
}

QString CChartWindow::Unit() const {
    return m_bPsnr ? QStringLiteral(" dB") : QString();
}

void CChartWindow::Rebuild() {
    const auto& rows = m_series.rows;
    const QString strMeasure = m_bPsnr ? QStringLiteral("PSNR") : QStringLiteral("RMSE");
    m_pChart->setTitle(QStringLiteral("%1 per frame: %2").arg(strMeasure, m_strCaption));
    m_pAxisY->setTitleText(m_bPsnr ? QStringLiteral("PSNR (dB)")
                                   : QStringLiteral("RMSE (8-bit sample levels)"));

    double dLow = INFINITY, dHigh = -INFINITY;
    for (int n = 0; n < SERIES_COUNT; ++n) {
        QList<QPointF> points;
        points.reserve(qsizetype(rows.size()));
        for (const SPerFrameRow& row : rows) {
            const double d =
                m_bPsnr ? SPerFrameSeries::Psnr(row, n) : SPerFrameSeries::Rmse(row, n);
            points.append(QPointF(row.nFrame, d));
        }
        const double dMean = m_bPsnr ? m_series.MeanPsnr(n) : m_series.MeanRmse(n);
        QList<QPointF> mean;
        if (!rows.empty()) {
            mean = {QPointF(rows.front().nFrame, dMean), QPointF(rows.back().nFrame, dMean)};
        }
        QLineSeries* pLine = m_lines[size_t(n)];
        pLine->replace(points);
        pLine->setName(QStringLiteral("%1 (mean %2%3)")
                           .arg(QString::fromLatin1(SERIES_NAMES[n]),
                                QString::fromStdString(FormatFigure(dMean)), Unit()));
        m_means[size_t(n)]->replace(mean);
        const bool bShown = m_shown[size_t(n)];
        pLine->setVisible(bShown);
        m_means[size_t(n)]->setVisible(bShown);
        // A single frame is a line of no length: show its point.
        pLine->setPointsVisible(rows.size() == 1);
        if (bShown) {
            for (const QPointF& p : points) {
                dLow = std::min(dLow, p.y());
                dHigh = std::max(dHigh, p.y());
            }
        }
    }
    // The markers of hidden series disappear with them; keep the means' hidden.
    for (QLineSeries* pMean : m_means) {
        for (QLegendMarker* pMarker : m_pChart->legend()->markers(pMean)) {
            pMarker->setVisible(false);
        }
    }

    const double dFirst = rows.empty() ? 1 : rows.front().nFrame;
    const double dLast = rows.empty() ? 1 : rows.back().nFrame;
    if (dLast > dFirst) {
        m_pAxisX->setRange(dFirst, dLast);
    } else {
        m_pAxisX->setRange(dFirst - 1, dFirst + 1);
    }
    m_pAxisX->setTickType(QValueAxis::TicksDynamic);
    m_pAxisX->setTickAnchor(0);
    m_pAxisX->setTickInterval(NiceStep(dLast - dFirst));

    if (!std::isfinite(dLow)) {  // nothing shown
        dLow = 0;
        dHigh = m_bPsnr ? COMPARE_MATCH_PSNR : 1;
    }
    if (!m_bPsnr) {
        dLow = 0;  // RMSE reads best from zero
    }
    const double dPad = std::max((dHigh - dLow) * 0.05, 0.5);
    m_pAxisY->setRange(m_bPsnr ? dLow - dPad : 0, dHigh + dPad);
    m_pAxisY->applyNiceNumbers();
    PlaceMarker();
    ShowReadout(-1);
}

void CChartWindow::SetMarkedFrame(int nFrame) {
    m_nMarkedFrame = std::max(nFrame, 0);
    PlaceMarker();
}

void CChartWindow::PlaceMarker() {
    const auto& rows = m_series.rows;
    const bool bShown = m_nMarkedFrame > 0 && !rows.empty() &&
                        m_nMarkedFrame >= int(rows.front().nFrame) &&
                        m_nMarkedFrame <= int(rows.back().nFrame);
    m_pMarker->setVisible(bShown);
    if (bShown) {
        m_pMarker->replace(
            {QPointF(m_nMarkedFrame, m_pAxisY->min()), QPointF(m_nMarkedFrame, m_pAxisY->max())});
        m_pMarker->setName(QStringLiteral("Shown frame %1").arg(m_nMarkedFrame));
    }
    for (QLegendMarker* pMarker : m_pChart->legend()->markers(m_pMarker)) {
        pMarker->setVisible(false);
    }
}

void CChartWindow::ChooseFrame(int nFrame) {
    const auto& rows = m_series.rows;
    if (!rows.empty() && nFrame >= int(rows.front().nFrame) && nFrame <= int(rows.back().nFrame)) {
        emit frameChosen(nFrame);
    }
}

QString CChartWindow::ReadoutText(int nFrame) const {
    const auto& rows = m_series.rows;
    if (rows.empty() || nFrame < int(rows.front().nFrame) || nFrame > int(rows.back().nFrame)) {
        QString strHint = QStringLiteral(
                              "Point at the chart to read a frame's figures. %1 frames "
                              "compared; dashed lines are the stream means.")
                              .arg(rows.size());
        if (m_bPsnr && m_bAnyClipped) {
            strHint += QStringLiteral(" Identical planes (infinite PSNR) are drawn at %1 dB.")
                           .arg(QString::fromStdString(FormatFigure(COMPARE_MATCH_PSNR)));
        }
        return strHint;
    }
    const SPerFrameRow& row = rows[size_t(nFrame) - rows.front().nFrame];
    QStringList parts;
    for (int n = 0; n < SERIES_COUNT; ++n) {
        if (!m_shown[size_t(n)]) {
            continue;
        }
        const double d = m_bPsnr ? SPerFrameSeries::Psnr(row, n) : SPerFrameSeries::Rmse(row, n);
        QString strPart = QStringLiteral("%1 %2%3").arg(
            QString::fromLatin1(SERIES_NAMES[n]), QString::fromStdString(FormatFigure(d)), Unit());
        if (m_bPsnr && SPerFrameSeries::IsClipped(row, n)) {
            strPart += QStringLiteral(" (identical: infinite, drawn at the match value)");
        } else if (n == SERIES_FRAME && row.figures.dRmse == 0) {
            strPart += QStringLiteral(" (Match)");
        }
        parts << strPart;
    }
    return QStringLiteral("Frame %1 %2: %3")
        .arg(row.nFrame)
        .arg(
            m_bPsnr ? QStringLiteral("PSNR") : QStringLiteral("RMSE"),
            parts.isEmpty() ? QStringLiteral("no series shown") : parts.join(QStringLiteral(", ")));
}

void CChartWindow::ShowReadout(int nFrame) {
    m_pReadout->setText(ReadoutText(nFrame));
}

bool CChartWindow::ExportCsv() {
    std::string strPath;
    if (!AskSavePath("csv", m_strFileStem.toStdString() + "_per_frame.csv", strPath)) {
        return false;
    }
    const std::string strCsv = PerFrameCsv(m_series);
    return WriteOutputFile(strPath, strCsv.data(), strCsv.size());
}

QList<QSize> CChartWindow::PngSizes() {
    return {QSize(800, 500), QSize(1200, 750), QSize(1600, 1000), QSize(1920, 1080),
            QSize(3840, 2160)};
}

void CChartWindow::SetPngSize(int nIndex) {
    m_pPngSize->setCurrentIndex(std::clamp(nIndex, 0, int(PngSizes().size()) - 1));
}

QSize CChartWindow::PngSize() const {
    return PngSizes().value(m_pPngSize->currentIndex(), QSize(1200, 750));
}

QImage CChartWindow::ChartImage(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (size.isEmpty()) {
        return image;
    }
    // Lay the chart out at the logical size, draw it alone from the scene, and
    // give it back to the view as it was.
    const double dScale = std::max(1.0, size.width() / PNG_LOGICAL_WIDTH);
    const QSizeF logical(size.width() / dScale, size.height() / dScale);
    const QRectF oldGeometry = m_pChart->geometry();
    const bool bMarker = m_pMarker->isVisible();
    m_pMarker->setVisible(false);
    m_pChart->setGeometry(QRectF(oldGeometry.topLeft(), logical));
    m_pChart->layout()->activate();
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        m_pView->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)),
                                 QRectF(oldGeometry.topLeft(), logical), Qt::IgnoreAspectRatio);
    }
    m_pChart->setGeometry(oldGeometry);
    m_pChart->layout()->activate();
    m_pMarker->setVisible(bMarker);
    return image;
}

bool CChartWindow::ExportPng() {
    std::string strPath;
    const std::string strSuggested =
        m_strFileStem.toStdString() + (m_bPsnr ? "_psnr.png" : "_rmse.png");
    if (!AskSavePath("png", strSuggested, strPath)) {
        return false;
    }
    return WritePng(ChartImage(PngSize()), strPath);
}
