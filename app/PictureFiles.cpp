#include "app/PictureFiles.h"

#include <QBuffer>
#include <QByteArray>

#include "io/Prompts.h"
#include "io/SafeFileWriter.h"

bool AskSavePath(const std::string& strExt, const std::string& strSuggestedName,
                 std::string& strPath) {
    FileChooserRequest request;
    request.bOpen = false;
    request.strDefaultExt = strExt;
    request.strInitialName = strSuggestedName.empty() ? "*." + strExt : strSuggestedName;
    FileChooserResult result;
    if (!Prompts().ChooseFile(request, result)) {
        return false;
    }
    strPath = result.strPathName;
    return true;
}

bool WriteOutputFile(const std::string& strPath, const void* pData, uint64_t nBytes) {
    std::string strError;
    if (!WriteFileSafely(strPath, pData, nBytes, &strError)) {
        Prompts().MessageBox(strError.empty() ? "Could not write " + strPath : strError, "Error");
        return false;
    }
    return true;
}

bool WritePng(const QImage& image, const std::string& strPath) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        Prompts().MessageBox("Could not encode the picture for " + strPath + " as PNG.", "Error");
        return false;
    }
    return WriteOutputFile(strPath, png.constData(), uint64_t(png.size()));
}
