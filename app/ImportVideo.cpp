#include "app/ImportVideo.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <thread>

#include "codec/CodecContext.h"
#include "document/ClipImport.h"
#include "document/TavroDoc.h"
#include "io/File.h"
#include "io/Prompts.h"

bool RunImportVideo(QWidget* pParent, CTavroDoc& doc) {
    FileChooserRequest request;
    request.bOpen = true;
    request.strInitialName = "*.mp4; *.mkv; *.avi; *.mov; *.webm; *.y4m; *.yuv";
    FileChooserResult result;
    if (!Prompts().ChooseFile(request, result) || !doc.SaveModified()) {
        return false;
    }
    CClipImport import;
    std::string strError;
    if (!import.Open(result.strPathName, &strError)) {
        Prompts().MessageBox(strError, "Error");
        return false;
    }
    const QString strName = QString::fromStdString(FileNameOf(result.strPathName));
    const int nExpected = int(import.ExpectedFrames());  // 0: a busy bar
    QProgressDialog progress(QStringLiteral("Importing %1...").arg(strName),
                             QStringLiteral("Cancel"), 0, nExpected, pParent);
    progress.setWindowTitle(QStringLiteral("Import Video"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(300);

    std::atomic<bool> bFinished{false};
    bool bRead = false;
    std::thread worker([&] {
        bRead = import.Run();
        bFinished = true;
    });
    QEventLoop loop;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (progress.wasCanceled()) {
            import.RequestCancel();
        }
        if (nExpected > 0) {
            progress.setValue(std::min(int(import.FramesRead()), nExpected - 1));
        }
        if (bFinished) {
            loop.quit();
        }
    });
    timer.start(50);
    loop.exec();
    worker.join();
    const bool bCancelled = progress.wasCanceled();
    progress.close();

    if (bCancelled) {
        return false;
    }
    if (!bRead) {
        Prompts().MessageBox(import.GetError(), "Error");
        return false;
    }
    if (!import.Deliver(doc)) {
        Prompts().MessageBox("\"" + strName.toStdString() + "\" holds no whole frame.", "Error");
        return false;
    }
    if (import.Truncated()) {
        Prompts().MessageBox("Imported the first " + std::to_string(CODEC_MAX_FRAMES) +
                                 " frames of \"" + strName.toStdString() +
                                 "\", the most a stream holds.",
                             "Tavro");
    }
    return true;
}
