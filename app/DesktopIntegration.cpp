#include "app/DesktopIntegration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

#include "app/ShellResources.h"

namespace {

QByteArray ReadResource(const QString& strPath) {
    InitShellResources();
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

// Quoting of an Exec argument: the path in double quotes, with the quote,
// backquote, dollar and backslash escaped by a backslash and % doubled; then,
// as in every value of the file, each backslash written twice.
QString QuoteExecArgument(const QString& str) {
    QString strQuoted;
    for (QChar c : str) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            strQuoted += QLatin1Char('\\');
        } else if (c == QLatin1Char('%')) {
            strQuoted += QLatin1Char('%');
        }
        strQuoted += c;
    }
    strQuoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + strQuoted + QLatin1Char('"');
}

// The reverse of QuoteExecArgument for the first argument of an Exec value.
QString UnquoteExecArgument(const QString& strExec) {
    QString strValue = strExec;
    strValue.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    if (!strValue.startsWith(QLatin1Char('"'))) {
        return strValue.section(QLatin1Char(' '), 0, 0);
    }
    QString strArgument;
    for (qsizetype i = 1; i < strValue.size(); ++i) {
        const QChar c = strValue[i];
        if (c == QLatin1Char('"')) {
            return strArgument;
        }
        if (c == QLatin1Char('\\') && i + 1 < strValue.size()) {
            strArgument += strValue[++i];
        } else if (c == QLatin1Char('%') && i + 1 < strValue.size() &&
                   strValue[i + 1] == QLatin1Char('%')) {
            strArgument += strValue[++i];
        } else {
            strArgument += c;
        }
    }
    return {};  // no closing quote
}

bool WriteFile(const QString& strPath, const QByteArray& data) {
    if (data.isEmpty() || !QDir().mkpath(QFileInfo(strPath).absolutePath())) {
        return false;
    }
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    return file.write(data) == data.size() && file.commit();
}

// The program an existing entry starts, or empty when it cannot be told.
QString EntryExecutable(const QString& strEntryPath) {
    QFile file(strEntryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString strLine = in.readLine();
        if (!strLine.startsWith(QStringLiteral("Exec="))) {
            continue;
        }
        return UnquoteExecArgument(strLine.mid(5).trimmed());
    }
    return {};
}

void RunIfInstalled(const QString& strTool, const QStringList& arguments) {
    const QString strPath = QStandardPaths::findExecutable(strTool);
    if (!strPath.isEmpty()) {
        QProcess::startDetached(strPath, arguments);
    }
}

}  // namespace

QString DesktopEntryText(const QString& strExecutable) {
    QString strText = QString::fromUtf8(ReadResource(QStringLiteral(":/desktop/tavro.desktop.in")));
    strText.replace(QStringLiteral("@TAVRO_EXEC@"), QuoteExecArgument(strExecutable));
    return strText;
}

QString MimePackageText() {
    return QString::fromUtf8(ReadResource(QStringLiteral(":/desktop/tavro-qcf.xml")));
}

CDesktopRegistration RegisterDesktopFiles(const QString& strDataHome,
                                          const QString& strExecutable) {
    CDesktopRegistration registration;
    const QDir home(strDataHome);
    auto put = [&](const char* pszFile, const QByteArray& data, bool bReplace) {
        const QString strPath = home.filePath(QString::fromLatin1(pszFile));
        if (QFileInfo::exists(strPath) && !bReplace) {
            return false;
        }
        if (!WriteFile(strPath, data)) {
            registration.failed.append(strPath);
            return false;
        }
        registration.written.append(strPath);
        return true;
    };

    const QString strEntryPath = home.filePath(QString::fromLatin1(kDesktopEntryFile));
    const QString strRegistered = EntryExecutable(strEntryPath);
    // An entry left behind by a program that was moved or deleted is replaced.
    const bool bStale = QFileInfo::exists(strEntryPath) &&
                        (strRegistered.isEmpty() || !QFileInfo::exists(strRegistered));
    registration.bEntryChanged =
        put(kDesktopEntryFile, DesktopEntryText(strExecutable).toUtf8(), bStale);
    registration.bMimeChanged = put(kMimePackageFile, MimePackageText().toUtf8(), false);
    put(kAppIconFile, ReadResource(QStringLiteral(":/icons/tavro-256.png")), false);
    put(kTypeIconFile, ReadResource(QStringLiteral(":/icons/qcf-document-256.png")), false);
    return registration;
}

QString UserDataHome() {
    const QString strXdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!strXdg.isEmpty() && QDir::isAbsolutePath(strXdg)) {
        return strXdg;
    }
    return QDir::home().filePath(QStringLiteral(".local/share"));
}

void RegisterForUser() {
    const QString strDataHome = UserDataHome();
    const CDesktopRegistration registration =
        RegisterDesktopFiles(strDataHome, QCoreApplication::applicationFilePath());
    if (registration.bMimeChanged) {
        RunIfInstalled(QStringLiteral("update-mime-database"),
                       {QDir(strDataHome).filePath(QStringLiteral("mime"))});
    }
    if (registration.bEntryChanged || registration.bMimeChanged) {
        RunIfInstalled(QStringLiteral("update-desktop-database"),
                       {QDir(strDataHome).filePath(QStringLiteral("applications"))});
    }
}
