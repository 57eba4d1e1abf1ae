// The per-frame chart driven from the main window: when Statistics offers it,
// what it plots for a small stream against a comparison file, the read-out,
// and the CSV and PNG exports read back.

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QValueAxis>
#include <QtTest>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>

#include "app/ChartWindow.h"
#include "app/MainFrame.h"
#include "app/ShellCommands.h"
#include "app/ShellDialogs.h"
#include "app/TavroApp.h"
#include "codec/CodecContext.h"
#include "codec/Subbands.h"
#include "codec/WorkingState.h"
#include "stats/CompareLogic.h"
#include "stats/PerFrameSeries.h"
#include "document/TavroDoc.h"
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
        BuildBandTable(context);
        g_nProgress.store(0);
        context.m_bCompress ? context.CompressRun() : context.DecompressRun();
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

}  // namespace

class TestChartWindow : public QObject {
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

        s.prompts.QueueChoice(s.dir.File("chart.png"));
        pWindow->findChild<QPushButton*>("ExportPng")->click();
        QImage image;
        QVERIFY(image.load(QString::fromStdString(s.dir.File("chart.png"))));
        QVERIFY(image.width() >= 480 && image.height() >= 320);
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
};

QTEST_MAIN(TestChartWindow)
#include "test_chart_window.moc"
