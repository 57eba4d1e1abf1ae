#include "app/RecentFileList.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("Recent File List");

QString Normalised(const QString& strPath) {
    return QDir::cleanPath(QFileInfo(strPath).absoluteFilePath());
}

}  // namespace

void CRecentFileList::ReadList(QSettings& settings) {
    m_files.clear();
    settings.beginGroup(kGroup);
    for (int i = 1; i <= m_nSize; ++i) {
        const QString strPath = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!strPath.isEmpty() && !m_files.contains(strPath)) {
            m_files.append(strPath);
        }
    }
    settings.endGroup();
}

void CRecentFileList::WriteList(QSettings& settings) const {
    settings.beginGroup(kGroup);
    settings.remove(QString());
    for (int i = 0; i < m_files.size(); ++i) {
        settings.setValue(QStringLiteral("File%1").arg(i + 1), m_files[i]);
    }
    settings.endGroup();
    settings.sync();
}

void CRecentFileList::Add(const QString& strPath) {
    if (strPath.isEmpty()) {
        return;
    }
    const QString strFile = Normalised(strPath);
    m_files.removeAll(strFile);
    m_files.prepend(strFile);
    while (m_files.size() > m_nSize) {
        m_files.removeLast();
    }
}

void CRecentFileList::Remove(int nIndex) {
    if (nIndex >= 0 && nIndex < m_files.size()) {
        m_files.removeAt(nIndex);
    }
}

QString CRecentFileList::MenuText(int nIndex, const QString& strPath) {
    constexpr int kMaxShown = 48;
    QString strShown = QDir::toNativeSeparators(strPath);
    const QString strHome = QDir::toNativeSeparators(QDir::homePath());
    if (!strHome.isEmpty() && strHome != QStringLiteral("/") &&
        strShown.startsWith(strHome + QDir::separator())) {
        strShown = QStringLiteral("~") + strShown.mid(strHome.size());
    }
    if (strShown.size() > kMaxShown) {
        // Keep the start of the path and the whole file name.
        const QString strName = QFileInfo(strPath).fileName();
        const int nHead = qMax(3, kMaxShown - int(strName.size()) - 5);
        strShown = strShown.left(nHead) + QStringLiteral("...") + QDir::separator() + strName;
    }
    strShown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(nIndex + 1).arg(strShown);
}
