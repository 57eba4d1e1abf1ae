// The Statistics windows driven from the main window: the per-frame chart (when
// Statistics offers it, what it plots, the read-out, the CSV and PNG exports
// read back) and the comparison view (keys, pane pixels, figures, pictures
// saved), linked to each other and following the document.

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QValueAxis>
#include <QtTest>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>

#include "app/AnalysisWindow.h"
#include "app/ChartWindow.h"
#include "app/MainFrame.h"
#include "app/ShellCommands.h"
#include "app/ShellDialogs.h"
#include "app/TavroApp.h"
#include "codec/CodecContext.h"
#include "document/TavroDoc.h"
#include "playback/FramePictures.h"
#include "playback/YuvToRgb.h"
#include "stats/CompareLogic.h"
#include "stats/PerFrameSeries.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

// Frames with a moving square; the V plane is flat, so a copy with other Y and
// U samples leaves V identical (infinite PSNR).
std::vector<uint8_t> Frames(int nFrames, int nNoise) {
    std::vector<uint8_t> data(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (int f = 0; f < nFrames; ++f) {
        uint8_t* p = data.data() + size_t(f) * QCIF_FRAME_BYTES;
        for (uint32_t k = 0; k < QCIF_Y_BYTES; ++k) {
            const int x = int(k % 176), y = int(k / 176);
            const bool bSquare = x >= 20 + f && x < 60 + f && y >= 40 && y < 80;
            p[k] = bSquare ? 220 : uint8_t((x + 2 * y) / 2);
            if (nNoise != 0 && k % (7 + f) == 0) {
                p[k] = uint8_t(p[k] + nNoise * (f + 1));
            }
        }
        std::fill(p + QCIF_U_OFFSET, p + QCIF_V_OFFSET, uint8_t(110 + f % 7 + (nNoise ? 2 : 0)));
        std::fill(p + QCIF_V_OFFSET, p + QCIF_FRAME_BYTES, uint8_t(140));
    }
    return data;
}

class CFakeDialogs : public IShellDialogs {
public:
    std::deque<CParametersChoice> parameters;

    int RunParameters(CParametersChoice& choice) override {
        if (parameters.empty()) {
            return IDCANCEL;
        }
        choice.m_nFrames = parameters.front().m_nFrames;
        choice.m_nThreshold = parameters.front().m_nThreshold;
        choice.m_nQuantiser = parameters.front().m_nQuantiser;
        parameters.pop_front();
        return IDOK;
    }
    int RunProcessing(CCodecContext& context, bool& bCancelled) override {
        context.Run();
        bCancelled = false;
        return IDOK;
    }
    void RunViewer(const uint8_t*, uint32_t) override {}
    void RunCompare(CTavroDoc& doc, bool bSingleFrame) override {
        std::unique_ptr<CCompareLogic> pLogic = BeginCompare(doc, bSingleFrame);
        if (pLogic) {
            pLogic->OnInitDialog();
            pLogic->OnCompare(pLogic->InitialFrameText());
            rmse = pLogic->RmseText();
            psnr = pLogic->PsnrText();
        }
    }
    std::string rmse, psnr;  // last comparison shown
};

struct CSession {
    CScriptedPrompts prompts;
    CFakeDialogs dialogs;
    CTempDir dir;
    CTavroApp app{&dialogs, CTavroApp::Options{false}};

    CSession() {
        QSettings().clear();
        app.InitInstance({});
    }
    CMainFrame* Frame() const { return app.MainFrame(); }
    QAction* Action(int nId) const { return Frame()->Action(nId); }
    bool ChartEnabled() const {
        Frame()->Menu(3)->aboutToShow();  // as when the menu opens
        return Action(ID_PER_FRAME_CHART)->isEnabled();
    }
    std::string Write(const std::string& strName, int nFrames, int nNoise) {
        WriteBytes(dir.File(strName), Frames(nFrames, nNoise));
        return dir.File(strName);
    }
    // Opens the stream and picks the comparison file through Compare Streams.
    void OpenWithReference(const std::string& strClip, const std::string& strRef) {
        prompts.QueueChoice(strClip);
        Action(ID_FILE_OPEN)->trigger();
        prompts.QueueChoice(strRef);
        Action(ID_COMPARE_STREAMS)->trigger();
    }
    CChartWindow* OpenChart() {
        Action(ID_PER_FRAME_CHART)->trigger();
        return Frame()->ChartWindow();
    }
};

QList<QPointF> Points(QLineSeries* p) {
    return p->points();
}

// Frames of noise (every pixel tells where it came from) and a copy off by a
// little in all planes except in frame 1.
std::vector<uint8_t> NoiseFrames(int nFrames, bool bDisturbed) {
    std::vector<uint8_t> data(size_t(nFrames) * QCIF_FRAME_BYTES);
    std::mt19937 random(11);
    for (uint8_t& b : data) {
        b = uint8_t(random());
    }
    std::mt19937 noise(5);
    for (size_t k = QCIF_FRAME_BYTES; bDisturbed && k < data.size(); k += 1 + noise() % 5) {
        data[k] = uint8_t(data[k] + int(noise() % 9) - 4);
    }
    return data;
}

// The picture a pane should show, from the frames alone.
std::vector<uint8_t> ExpectedPicture(int nPane, EPictureMode mode, const uint8_t* pStream,
                                     const uint8_t* pRef) {
    std::vector<uint8_t> rgb(PICTURE_BYTES);
    const uint8_t* pFrame = nPane == PANE_REFERENCE ? pRef : pStream;
    if (nPane == PANE_DIFFERENCE) {
        RenderDifferencePicture(pStream, pRef, mode, EDifferenceStyle::Signed, 8, rgb.data());
    } else if (mode == EPictureMode::Colour) {
        QcifFrameToRgb(pFrame, rgb.data());  // what tavro-cli export writes
    } else {
        const uint32_t nOffset = mode == EPictureMode::Y   ? 0
                                 : mode == EPictureMode::U ? QCIF_U_OFFSET
                                                           : QCIF_V_OFFSET;
        const int nShift = mode == EPictureMode::Y ? 0 : 1;
        for (int y = 0; y < 144; ++y) {
            for (int x = 0; x < 176; ++x) {
                const uint8_t v = pFrame[nOffset + (y >> nShift) * (176 >> nShift) + (x >> nShift)];
                std::fill_n(&rgb[size_t(y * 176 + x) * 3], 3, v);
            }
        }
    }
    return rgb;
}

// Compares the centre of every fifth sample that a pane shows with the expected
// picture; returns how many were compared (a failure stops at the first).
int CheckPane(CAnalysisWindow* pView, int nPane, const std::vector<uint8_t>& expected) {
    const QImage shot = pView->Pane(nPane)->grab().toImage().convertToFormat(QImage::Format_RGB888);
    const QPoint origin = pView->PaneOrigin(nPane);
    const double z = pView->EffectiveZoom();
    const int nCaption = pView->Pane(nPane)->fontMetrics().height() + 4;
    int nCompared = 0;
    for (int sy = 2; sy < 144; sy += 5) {
        for (int sx = 1; sx < 176; sx += 5) {
            const int px = origin.x() + int((sx + 0.5) * z);
            const int py = origin.y() + int((sy + 0.5) * z);
            if (px < 0 || px >= shot.width() || py < nCaption || py >= shot.height()) {
                continue;
            }
            const uint8_t* e = &expected[size_t(sy * 176 + sx) * 3];
            const QColor c = shot.pixelColor(px, py);
            if (c != QColor(e[0], e[1], e[2])) {
                qWarning("pane %d sample (%d, %d) at (%d, %d): %s, expected (%d, %d, %d)", nPane,
                         sx, sy, px, py, qPrintable(c.name()), e[0], e[1], e[2]);
                return -1;
            }
            ++nCompared;
        }
    }
    return nCompared;
}

}  // namespace

class TestStatisticsWindows : public QObject {
    Q_OBJECT

private slots:
    void offeredOnlyWithARawStreamAndAComparisonFile() {
        CSession s;
        QVERIFY(!s.ChartEnabled());  // state d
        s.prompts.QueueChoice(s.Write("clip.qcf", 3, 5));
        s.Action(ID_FILE_OPEN)->trigger();
        QCOMPARE(s.app.Document().m_cState, 'i');
        QVERIFY(!s.ChartEnabled());  // no comparison file yet
        s.prompts.QueueChoice(s.Write("ref.qcf", 3, 0));
        s.Action(ID_COMPARE_STREAMS)->trigger();
        QVERIFY(s.app.Document().m_bCompareFile);
        QVERIFY(s.ChartEnabled());

        s.dialogs.parameters.push_back(
            CParametersChoice{.m_nQuantiser = 4, .m_nFrames = 3, .m_nThreshold = 10});
        s.Action(ID_COMPRESS)->trigger();
        QCOMPARE(s.app.Document().m_cState, 's');
        QVERIFY(!s.ChartEnabled());
        QVERIFY(s.OpenChart() == nullptr);  // a stale trigger does nothing

        s.prompts.QueueChoice(s.dir.File("clip.cmp"));
        s.Action(ID_FILE_SAVE_AS)->trigger();
        s.prompts.QueueChoice(s.dir.File("clip.cmp"));
        s.Action(ID_FILE_OPEN)->trigger();
        QCOMPARE(s.app.Document().m_cState, 'n');
        QVERIFY(!s.ChartEnabled());

        s.dialogs.parameters.push_back(
            CParametersChoice{.m_nQuantiser = 4, .m_nFrames = 3, .m_nThreshold = 10});
        s.Action(ID_DECOMPRESS)->trigger();
        QCOMPARE(s.app.Document().m_cState, 'x');
        QVERIFY(s.ChartEnabled());
        QVERIFY(s.OpenChart() != nullptr);
        QVERIFY(s.prompts.messages.empty());
    }

    void plotsEveryCommonFrameWithTheMeans() {
        CSession s;
        s.OpenWithReference(s.Write("clip.qcf", 5, 3), s.Write("ref.qcf", 4, 0));
        const std::string strStreamPsnr = s.dialogs.psnr, strStreamRmse = s.dialogs.rmse;
        CChartWindow* pWindow = s.OpenChart();
        QVERIFY(pWindow);
        QVERIFY(QTest::qWaitForWindowExposed(pWindow));
        QVERIFY(pWindow->windowTitle().contains("clip.qcf against ref.qcf"));
        const SPerFrameSeries& series = pWindow->Series();
        QCOMPARE(series.rows.size(), size_t(4));  // the reference holds 4 frames

        for (bool bPsnr : {true, false}) {
            pWindow->SetPsnr(bPsnr);
            for (int n = 0; n < SERIES_COUNT; ++n) {
                const QList<QPointF> points = Points(pWindow->Line(n));
                QCOMPARE(points.size(), 4);
                for (int k = 0; k < 4; ++k) {
                    const SPerFrameRow& row = series.rows[size_t(k)];
                    QCOMPARE(points[k].x(), double(k + 1));
                    QCOMPARE(points[k].y(),
                             bPsnr ? SPerFrameSeries::Psnr(row, n) : SPerFrameSeries::Rmse(row, n));
                }
                const QList<QPointF> mean = Points(pWindow->MeanLine(n));
                QCOMPARE(mean.size(), 2);
                QCOMPARE(mean[0].x(), 1.0);
                QCOMPARE(mean[1].x(), 4.0);
                QCOMPARE(mean[0].y(), mean[1].y());
                QCOMPARE(mean[0].y(), bPsnr ? series.MeanPsnr(n) : series.MeanRmse(n));
                // Every drawn value lies inside the y axis.
                for (const QPointF& p : points + mean) {
                    QVERIFY(p.y() >= pWindow->AxisY()->min() && p.y() <= pWindow->AxisY()->max());
                }
            }
            // The whole-frame mean line is the figure Compare Streams showed.
            const double dMean = Points(pWindow->MeanLine(SERIES_FRAME))[0].y();
            QCOMPARE(FormatFigure(dMean), bPsnr ? strStreamPsnr : strStreamRmse);
            QVERIFY(pWindow->AxisY()->titleText().contains(bPsnr ? "(dB)" : "RMSE"));
        }
        QCOMPARE(pWindow->AxisX()->titleText(), QString("Frame"));

        // The V plane is identical: infinite PSNR drawn at the match value, said so.
        pWindow->SetPsnr(true);
        QCOMPARE(Points(pWindow->Line(SERIES_V))[0].y(), COMPARE_MATCH_PSNR);
        QVERIFY(std::isfinite(pWindow->AxisY()->max()));
        QVERIFY(pWindow->ReadoutText(-1).contains("infinite PSNR"));
        QVERIFY(pWindow->ReadoutText(2).contains("V 93.93 dB (identical"));

        // Hiding a series hides its line, its mean and its read-out.
        pWindow->findChild<QCheckBox*>("Series2")->setChecked(false);
        QVERIFY(!pWindow->Line(SERIES_U)->isVisible());
        QVERIFY(!pWindow->MeanLine(SERIES_U)->isVisible());
        QVERIFY(pWindow->Line(SERIES_Y)->isVisible());
        const QString strRead = pWindow->ReadoutText(3);
        QVERIFY2(strRead.startsWith("Frame 3 PSNR: Whole frame ") && !strRead.contains(" U ") &&
                     strRead.contains(" Y "),
                 qPrintable(strRead));
        QVERIFY(strRead.contains(
            QString::fromStdString(FormatFigure(series.rows[2].figures.dPsnr) + " dB")));

        // The pointer over the middle of the plot reads a frame out.
        QChartView* pView = pWindow->ChartView();
        const QPointF centre = pWindow->Chart()->plotArea().center();
        QMouseEvent move(QEvent::MouseMove, centre, pView->viewport()->mapToGlobal(centre),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(pView->viewport(), &move);
        QVERIFY2(pWindow->Readout()->text().startsWith("Frame "),
                 qPrintable(pWindow->Readout()->text()));
    }

    void exportsTheFiguresAndThePicture() {
        CSession s;
        s.OpenWithReference(s.Write("clip.qcf", 3, 2), s.Write("ref.qcf", 3, 0));
        CChartWindow* pWindow = s.OpenChart();
        QVERIFY(pWindow);

        s.prompts.QueueChoice(s.dir.File("frames.csv"));
        pWindow->findChild<QPushButton*>("ExportCsv")->click();
        const FileChooserRequest& request = s.prompts.requests.back();
        QVERIFY(!request.bOpen);
        QCOMPARE(request.strDefaultExt, std::string("csv"));
        QCOMPARE(request.strInitialName, std::string("clip_per_frame.csv"));
        const std::vector<uint8_t> csv = ReadBytes(s.dir.File("frames.csv"));
        const QStringList lines =
            QString::fromLatin1(reinterpret_cast<const char*>(csv.data()), qsizetype(csv.size()))
                .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QString("frame,rmse,psnr,psnr_y,psnr_u,psnr_v"));
        for (int k = 1; k <= 3; ++k) {
            const QStringList cells = lines[k].split(',');
            QCOMPARE(cells.size(), 6);
            const SPerFrameRow& row = pWindow->Series().rows[size_t(k - 1)];
            QCOMPARE(cells[0].toInt(), k);
            QCOMPARE(cells[1].toDouble(), row.figures.dRmse);
            QCOMPARE(cells[2].toDouble(), row.figures.dPsnr);
            QCOMPARE(cells[3].toDouble(), row.planes.adPsnr[0]);
            QCOMPARE(cells[5], QString("inf"));  // V identical
        }

        // The chart alone at the chosen size: no window frame around it.
        pWindow->SetPngSize(0);
        s.prompts.QueueChoice(s.dir.File("chart.png"));
        pWindow->findChild<QPushButton*>("ExportPng")->click();
        QCOMPARE(s.prompts.requests.back().strInitialName, std::string("clip_psnr.png"));
        QImage image;
        QVERIFY(image.load(QString::fromStdString(s.dir.File("chart.png"))));
        QCOMPARE(image.size(), CChartWindow::PngSizes()[0]);
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(799, 0), QPoint(0, 499), QPoint(799, 499)}) {
            QCOMPARE(image.pixelColor(corner), QColor(Qt::white));
        }
        QCOMPARE(pWindow->ChartImage(QSize(1920, 1080)).size(), QSize(1920, 1080));
        QVERIFY(s.prompts.messages.empty());

        // Cancel writes nothing; a folder that is not there is an error.
        const size_t nFiles = std::distance(std::filesystem::directory_iterator(s.dir.Path()),
                                            std::filesystem::directory_iterator());
        s.prompts.QueueChoice(std::nullopt);
        QVERIFY(!pWindow->ExportCsv());
        QCOMPARE(size_t(std::distance(std::filesystem::directory_iterator(s.dir.Path()),
                                      std::filesystem::directory_iterator())),
                 nFiles);
        s.prompts.QueueChoice(s.dir.File("missing/frames.csv"));
        QVERIFY(!pWindow->ExportCsv());
        s.prompts.QueueChoice(s.dir.File("missing/chart.png"));
        QVERIFY(!pWindow->ExportPng());
        QCOMPARE(s.prompts.messages.size(), size_t(2));
        QCOMPARE(s.prompts.messages[0].strCaption, std::string("Error"));
        QCOMPARE(s.prompts.messages[1].strCaption, std::string("Error"));
    }

    void aComparisonFileThatChangedIsReported() {
        CSession s;
        const std::string strRef = s.Write("ref.qcf", 4, 0);
        s.OpenWithReference(s.Write("clip.qcf", 4, 1), strRef);
        // Shrunk to two frames: the two are charted after a message.
        WriteBytes(strRef, Frames(2, 0));
        CChartWindow* pWindow = s.OpenChart();
        QCOMPARE(s.prompts.messages.size(), size_t(1));
        QCOMPARE(s.prompts.messages[0].strCaption, std::string("Error"));
        QVERIFY(s.prompts.messages[0].strText.find("ends before frame 3") != std::string::npos);
        QVERIFY(pWindow);
        QCOMPARE(pWindow->Line(SERIES_FRAME)->count(), 2);

        // Gone: a message and no chart.
        std::remove(strRef.c_str());
        pWindow->close();
        QTRY_VERIFY(s.Frame()->ChartWindow() == nullptr);
        QVERIFY(s.OpenChart() == nullptr);
        QCOMPARE(s.prompts.messages.size(), size_t(2));
        QVERIFY(s.prompts.messages[1].strText.find("Could not open the comparison file") !=
                std::string::npos);
    }

    // One table of keys: after each, the frame and zoom shown, every pane's
    // pixels against the frames (true colour as the export conversion makes
    // it), and the figures against the comparison dialog's for that frame.
    void comparisonViewFollowsTheKeys() {
        CSession s;
        const std::vector<uint8_t> stream = NoiseFrames(30, true), ref = NoiseFrames(25, false);
        WriteBytes(s.dir.File("clip.qcf"), stream);
        WriteBytes(s.dir.File("ref.qcf"), ref);
        s.OpenWithReference(s.dir.File("clip.qcf"), s.dir.File("ref.qcf"));
        QVERIFY(s.ChartEnabled());
        QVERIFY(s.Action(ID_COMPARISON_VIEW)->isEnabled());
        s.Action(ID_COMPARISON_VIEW)->trigger();
        CAnalysisWindow* pView = s.Frame()->ComparisonView();
        QVERIFY(pView);
        pView->resize(1000, 520);
        QVERIFY(QTest::qWaitForWindowExposed(pView));
        QCOMPARE(pView->FrameCount(), 25u);  // the reference holds 25
        QVERIFY(pView->windowTitle().contains("clip.qcf against ref.qcf"));

        using M = EPictureMode;
        const struct {
            const char* what;
            int nKey;
            M mode;
            uint32_t nFrame;
            int nZoom;  // 0: fitted
        } steps[] = {
            {"opens on frame 1, fitted", 0, M::Colour, 1, 0},
            {"Right", Qt::Key_Right, M::Colour, 2, 0},
            {"Up", Qt::Key_Up, M::Colour, 3, 0},
            {"Left", Qt::Key_Left, M::Colour, 2, 0},
            {"Down", Qt::Key_Down, M::Y, 1, 0},
            {"Down on the first frame", Qt::Key_Down, M::Y, 1, 0},
            {"Page Up", Qt::Key_PageUp, M::U, 11, 0},
            {"Page Up again", Qt::Key_PageUp, M::U, 21, 0},
            {"Page Up to the last", Qt::Key_PageUp, M::V, 25, 0},
            {"Right on the last frame", Qt::Key_Right, M::V, 25, 0},
            {"Page Down", Qt::Key_PageDown, M::Colour, 15, 0},
            {"Home", Qt::Key_Home, M::Colour, 1, 0},
            {"End", Qt::Key_End, M::Colour, 25, 0},
            {"1: actual size", Qt::Key_1, M::Colour, 25, 1},
            {"+", Qt::Key_Plus, M::Y, 25, 2},
            {"+ again", Qt::Key_Plus, M::Colour, 25, 3},
            {"+ once more", Qt::Key_Plus, M::Colour, 25, 4},
            {"Left while zoomed", Qt::Key_Left, M::Colour, 24, 4},
            {"-", Qt::Key_Minus, M::V, 24, 3},
            {"0 fits", Qt::Key_0, M::Colour, 24, 0},
        };
        for (const auto& step : steps) {
            pView->findChild<QComboBox*>("Mode")->setCurrentIndex(int(step.mode));
            if (step.nKey != 0) {
                QTest::keyClick(pView->Pane(PANE_REFERENCE), Qt::Key(step.nKey));
            }
            const uint32_t k = pView->Frame();
            QVERIFY2(k == step.nFrame, step.what);
            QVERIFY2(step.nZoom == 0 ? pView->IsFit() : pView->EffectiveZoom() == step.nZoom,
                     step.what);
            QCOMPARE(pView->findChild<QSlider*>("FrameSlider")->value(), int(k));
            const uint8_t* pStream = stream.data() + size_t(k - 1) * QCIF_FRAME_BYTES;
            const uint8_t* pRef = ref.data() + size_t(k - 1) * QCIF_FRAME_BYTES;
            for (int n = 0; n < PANE_COUNT; ++n) {
                const int nCompared =
                    CheckPane(pView, n, ExpectedPicture(n, step.mode, pStream, pRef));
                QVERIFY2(nCompared >= 40, qPrintable(QString("%1, pane %2: %3 samples compared")
                                                         .arg(step.what)
                                                         .arg(n)
                                                         .arg(nCompared)));
            }
            CCompareLogic logic(s.app.Document().m_pQcfData, 30, 25, s.dir.File("ref.qcf"), true);
            logic.OnInitDialog();
            logic.OnCompare(std::to_string(k));
            const QString strFigures =
                pView->FiguresLabel()->text().replace(QChar(0x00A0), QChar(0x20));
            QVERIFY2(strFigures.startsWith(QString("Frame %1: RMSE %2  PSNR %3")
                                               .arg(k)
                                               .arg(QString::fromStdString(logic.RmseText()),
                                                    QString::fromStdString(logic.PsnrText()))),
                     qPrintable(strFigures));
            QCOMPARE(logic.RmseText() == "Match", k == 1);
        }
        QVERIFY(s.prompts.messages.empty());
    }

    void chartAndComparisonViewFollowEachOther() {
        CSession s;
        s.OpenWithReference(s.Write("clip.qcf", 6, 3), s.Write("ref.qcf", 6, 0));
        CChartWindow* pChart = s.OpenChart();
        QVERIFY(pChart);
        QVERIFY(QTest::qWaitForWindowExposed(pChart));
        QVERIFY(!pChart->Marker()->isVisible());
        QVERIFY(s.Frame()->ComparisonView() == nullptr);

        // A click on the plot opens the view on the frame under the pointer.
        QChartView* pChartView = pChart->ChartView();
        const QPointF at = pChart->Chart()->mapToPosition(QPointF(4, pChart->AxisY()->min() + 1));
        QTest::mouseClick(pChartView->viewport(), Qt::LeftButton, Qt::NoModifier, at.toPoint());
        CAnalysisWindow* pView = s.Frame()->ComparisonView();
        QVERIFY(pView);
        QCOMPARE(pView->Frame(), 4u);
        QCOMPARE(pChart->MarkedFrame(), 4);
        QVERIFY(pChart->Marker()->isVisible());
        QCOMPARE(Points(pChart->Marker()).value(0).x(), 4.0);
        QCOMPARE(Points(pChart->Marker()).value(1).y(), pChart->AxisY()->max());

        // The view's frame is marked as it moves; the chart's button shows it again.
        QTest::keyClick(pView, Qt::Key_End);
        QCOMPARE(pChart->MarkedFrame(), 6);
        pChart->ChooseFrame(9);  // not a frame of the chart
        QCOMPARE(pView->Frame(), 6u);
        pChart->SetPsnr(false);  // the marker spans the new axis
        QCOMPARE(Points(pChart->Marker()).value(1).y(), pChart->AxisY()->max());
        pChart->findChild<QPushButton*>("OpenComparisonView")->click();
        QCOMPARE(s.Frame()->ComparisonView(), pView);  // the same window, raised

        // Escape closes the chart; a new one marks the view's frame at once.
        QTest::keyClick(pChart, Qt::Key_Escape);
        QTRY_VERIFY(s.Frame()->ChartWindow() == nullptr);
        pChart = s.OpenChart();
        QCOMPARE(pChart->MarkedFrame(), 6);
        // Ctrl+W closes the view and the marker goes.
        QTest::keyClick(pView, Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(s.Frame()->ComparisonView() == nullptr);
        QCOMPARE(pChart->MarkedFrame(), 0);
        QVERIFY(!pChart->Marker()->isVisible());
        QTest::keyClick(pChart, Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(s.Frame()->ChartWindow() == nullptr);

        // Both open inside the available screen with every control on it.
        pChart = s.OpenChart();
        s.Action(ID_COMPARISON_VIEW)->trigger();
        pView = s.Frame()->ComparisonView();
        for (QWidget* pWindow : {static_cast<QWidget*>(pChart), static_cast<QWidget*>(pView)}) {
            QVERIFY(QTest::qWaitForWindowExposed(pWindow));
            const QRect available = pWindow->screen()->availableGeometry();
            QVERIFY2(available.contains(pWindow->frameGeometry()),
                     pWindow->objectName().toLatin1());
            for (QWidget* pChild : pWindow->findChildren<QWidget*>()) {
                if (pChild->isVisible() && pChild->isWindow() == false) {
                    const QRect r(pChild->mapTo(pWindow, QPoint(0, 0)), pChild->size());
                    QVERIFY2(pWindow->rect().contains(r), qPrintable(pChild->objectName()));
                }
            }
        }
        QVERIFY(s.prompts.messages.empty());
    }

    void comparisonViewSavesPicturesAndFollowsTheDocument() {
        CSession s;
        s.OpenWithReference(s.Write("clip.qcf", 5, 2), s.Write("ref.qcf", 5, 0));
        s.Action(ID_COMPARISON_VIEW)->trigger();
        CAnalysisWindow* pView = s.Frame()->ComparisonView();
        QVERIFY(pView);
        pView->SetFrame(3);
        pView->SetZoom(2);

        // Each pane and the strip, at the zoom shown, under a suggested name.
        const struct {
            int nPane;
            bool bStacked;
            const char* name;
            QSize size;
        } saves[] = {
            {PANE_DIFFERENCE, false, "clip_f003_diff.png", QSize(352, 288)},
            {PANE_REFERENCE, false, "clip_f003_ref.png", QSize(352, 288)},
            {PANE_COUNT, false, "clip_f003_strip.png", QSize(3 * 352 + 16, 288)},
            {PANE_COUNT, true, "clip_f003_strip.png", QSize(352, 3 * 288 + 16)},
        };
        for (const auto& save : saves) {
            pView->SetStacked(save.bStacked);
            s.prompts.QueueChoice(s.dir.File("out.png"));
            QVERIFY(pView->SavePicture(save.nPane));
            QCOMPARE(s.prompts.requests.back().strInitialName, std::string(save.name));
            QImage image;
            QVERIFY(image.load(QString::fromStdString(s.dir.File("out.png"))));
            QCOMPARE(image.size(), save.size);
            const int nPane = save.nPane == PANE_COUNT ? PANE_REFERENCE : save.nPane;
            QCOMPARE(image.pixelColor(3, 5), pView->Picture(nPane).pixelColor(1, 2));
        }
        s.prompts.QueueChoice(std::nullopt);
        QVERIFY(!pView->SavePicture(PANE_STREAM));
        s.prompts.QueueChoice(s.dir.File("missing/out.png"));
        QVERIFY(!pView->SavePicture(PANE_STREAM));
        QCOMPARE(s.prompts.messages.size(), size_t(1));
        s.prompts.messages.clear();

        // Compressed: the frames are gone, the view says so and keeps working.
        s.dialogs.parameters.push_back(
            CParametersChoice{.m_nQuantiser = 4, .m_nFrames = 5, .m_nThreshold = 10});
        s.Action(ID_COMPRESS)->trigger();
        QCOMPARE(s.app.Document().m_cState, 's');
        QCOMPARE(pView->FrameCount(), 0u);
        QVERIFY(pView->FiguresLabel()->text().startsWith("Nothing to compare"));
        QVERIFY(!pView->findChild<QSlider*>("FrameSlider")->isEnabled());
        QTest::keyClick(pView, Qt::Key_Right);
        pView->Play();
        QVERIFY(!pView->IsPlaying());
        // Decompressed again: the view follows, on the frame it showed.
        s.dialogs.parameters.push_back(
            CParametersChoice{.m_nQuantiser = 4, .m_nFrames = 5, .m_nThreshold = 10});
        s.Action(ID_DECOMPRESS)->trigger();
        QCOMPARE(pView->FrameCount(), 5u);
        QCOMPARE(pView->Frame(), 3u);
        QVERIFY2(pView->windowTitle().contains("(T=10 Q=4) against ref.qcf"),
                 qPrintable(pView->windowTitle()));

        // Playing steps on by the timer and stops at the last frame.
        pView->SetRate(100);
        pView->Play();
        QVERIFY(pView->IsPlaying());
        QTRY_COMPARE(pView->Frame(), 5u);
        QTRY_VERIFY(!pView->IsPlaying());
        QTest::keyClick(pView, Qt::Key_Space);  // from the start again
        QVERIFY(pView->IsPlaying());
        QCOMPARE(pView->Frame(), 1u);
        QTest::keyClick(pView, Qt::Key_Space);
        QVERIFY(!pView->IsPlaying());
        QVERIFY(s.prompts.messages.empty());
    }
};

QTEST_MAIN(TestStatisticsWindows)
#include "test_statistics_windows.moc"
