#pragma once
// The recent-file list: the last few files opened, newest first, kept in the
// user's settings between runs.

#include <QString>
#include <QStringList>

class QSettings;

class CRecentFileList {
public:
    explicit CRecentFileList(int nSize = 4) : m_nSize(nSize) {}

    // Reads and writes the list under the "Recent File List" group (File1 ...).
    // Empty and repeated entries in the settings are skipped.
    void ReadList(QSettings& settings);
    void WriteList(QSettings& settings) const;

    // Puts the file first (as an absolute, clean path); an entry for the same
    // file moves up instead of appearing twice, and the oldest falls off.
    void Add(const QString& strPath);
    void Remove(int nIndex);

    const QStringList& Files() const { return m_files; }
    int Size() const { return m_nSize; }
    bool IsEmpty() const { return m_files.isEmpty(); }

    // The menu text of entry nIndex: "&1 " and the path, with the home folder
    // shown as ~, a long path shortened in the middle, and ampersands kept
    // literal.
    static QString MenuText(int nIndex, const QString& strPath);

private:
    int m_nSize;
    QStringList m_files;
};
