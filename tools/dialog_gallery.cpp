// Renders each dialog with sample data into PNG files, for the screenshots in
// docs/screenshots/:  dialog_gallery <output folder> [suffix]
// Uses the real clips when they are there, a synthetic pattern otherwise.

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <thread>

#include "app/CompareDlg.h"
#include "app/DialogControls.h"
#include "app/ParametersDlg.h"
#include "app/ProcessingDlg.h"
#include "app/ViewerDlg.h"
#include "codec/CodecContext.h"
#include "io/QcifFormat.h"
#include "support/TestFiles.h"

namespace {

std::vector<uint8_t> SampleFrames(uint32_t nFrames) {
    std::vector<uint8_t> frames;
    const std::string strClip = DataFile("foreman_100f.qcf");
    if (!strClip.empty()) {
        frames = ReadBytes(strClip);
    }
    frames.resize(size_t(nFrames) * QCIF_FRAME_BYTES, 128);
    return frames;
}

void Save(QWidget& widget, const QString& strDir, const QString& strName,
          const QString& strSuffix) {
    QTest::qWait(100);
    const QString strPath = strDir + "/" + strName + strSuffix + ".png";
    if (!widget.grab().save(strPath)) {
        qWarning("could not write %s", qPrintable(strPath));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: dialog_gallery <output folder> [suffix]");
        return 2;
    }
    const QString strDir = QString::fromLocal8Bit(argv[1]);
    const QString strSuffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QDir().mkpath(strDir);
    std::vector<uint8_t> frames = SampleFrames(100);

    {
        CParametersDlg dlg;
        dlg.m_nMaxFrames = 100;
        dlg.m_nThreshold = 10;
        dlg.m_nQuantiser = 16;
        dlg.show();
        Save(dlg, strDir, "parameters", strSuffix);
        dlg.reject();
    }
    {
        CCodecContext context;
        context.m_bCompress = true;
        context.m_nFrames = 100;
        context.m_byThreshold = 10;
        context.m_byQuantiser = 16;
        context.m_pQcf = frames.data();
        // Slow the run down so the picture shows it under way.
        context.m_onFrameEvent = [](CCodecContext::FrameEvent, uint16_t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        };
        CProcessingDlg dlg(context);
        dlg.show();
        QTest::qWait(100);
        dlg.findChild<QPushButton*>(ControlName(IDC_START))->click();
        QTest::qWait(1100);
        Save(dlg, strDir, "processing", strSuffix);
        dlg.reject();
        while (dlg.isVisible()) {
            QTest::qWait(50);
        }
    }
    {
        CTempDir dir;
        std::vector<uint8_t> ref = frames;
        for (size_t i = 0; i < ref.size(); ++i) {
            ref[i] = uint8_t(
                std::clamp(int(ref[i]) + int((uint32_t(i) * 2654435761u) >> 29) - 4, 0, 255));
        }
        WriteBytes(dir.File("reference.qcf"), ref);
        CCompareDlg dlg(std::make_unique<CCompareLogic>(frames.data(), 100, 100,
                                                        dir.File("reference.qcf"), false));
        dlg.show();
        dlg.findChild<QPushButton*>(ControlName(IDOK))->click();
        Save(dlg, strDir, "compare", strSuffix);
        dlg.reject();
    }
    for (int nZoom : {1, 2}) {
        CViewerDlg dlg(frames.data(), 100);
        dlg.show();
        dlg.SetZoom(nZoom);
        dlg.findChild<QSlider*>(ControlName(IDC_VIEWER_SLIDER))->setSliderPosition(30);
        Save(dlg, strDir, nZoom == 1 ? "viewer" : "viewer-zoom2", strSuffix);
        dlg.reject();
    }
    return 0;
}
