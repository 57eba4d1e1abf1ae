// The desktop's knowledge of Tavro (application entry, .qcf file type, icons)
// written into a user's data folder, and the recent-file list's bookkeeping.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/DesktopIntegration.h"
#include "app/RecentFileList.h"

namespace {

QString ReadText(const QString& strPath) {
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString ExecLine(const QString& strEntry) {
    for (const QString& strLine : strEntry.split('\n')) {
        if (strLine.startsWith("Exec=")) {
            return strLine;
        }
    }
    return {};
}

}  // namespace

class TestDesktopFiles : public QObject {
    Q_OBJECT

private slots:
    void writesWhatIsMissingOnce() {
        QTemporaryDir home;
        const QString strExe = home.filePath("bin/tavro");
        QDir().mkpath(home.filePath("bin"));
        QFile(strExe).open(QIODevice::WriteOnly);

        const CDesktopRegistration first = RegisterDesktopFiles(home.path(), strExe);
        QCOMPARE(first.failed, QStringList{});
        QCOMPARE(first.written.size(), 4);
        QVERIFY(first.bEntryChanged && first.bMimeChanged);

        const QString strEntry = ReadText(home.filePath(kDesktopEntryFile));
        QCOMPARE(ExecLine(strEntry), "Exec=\"" + strExe + "\" %f");
        QVERIFY(strEntry.contains("\nMimeType=video/x-qcf;\n"));
        QVERIFY(strEntry.startsWith("[Desktop Entry]\n"));
        const QString strMime = ReadText(home.filePath(kMimePackageFile));
        QVERIFY(strMime.contains("<mime-type type=\"video/x-qcf\">"));
        QVERIFY(strMime.contains("<comment>QCF Stream</comment>"));
        QVERIFY(strMime.contains("<glob pattern=\"*.qcf\"/>"));
        QCOMPARE(QImage(home.filePath(kAppIconFile)).size(), QSize(256, 256));
        QCOMPARE(QImage(home.filePath(kTypeIconFile)).size(), QSize(256, 256));

        // Present files are left alone, a user's own edits included.
        QFile mime(home.filePath(kMimePackageFile));
        QVERIFY(mime.open(QIODevice::WriteOnly));
        mime.write("edited");
        mime.close();
        const CDesktopRegistration second = RegisterDesktopFiles(home.path(), strExe);
        QCOMPARE(second.written, QStringList{});
        QVERIFY(!second.bEntryChanged && !second.bMimeChanged);
        QCOMPARE(ReadText(home.filePath(kMimePackageFile)), QString("edited"));

        // An entry for a program that is gone is replaced by one for this one.
        const QString strMoved = home.filePath("elsewhere/tavro");
        const CDesktopRegistration moved = RegisterDesktopFiles(home.path(), strMoved);
        QVERIFY(!moved.bEntryChanged);  // the first program still exists
        QFile::remove(strExe);
        const CDesktopRegistration stale = RegisterDesktopFiles(home.path(), strMoved);
        QVERIFY(stale.bEntryChanged);
        QCOMPARE(ExecLine(ReadText(home.filePath(kDesktopEntryFile))),
                 "Exec=\"" + strMoved + "\" %f");
    }

    // Program paths that need quoting in an entry, and that the check for a
    // stale entry reads back.
    void quotesTheProgramPath_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("exec");
        QTest::newRow("space") << "my tools/tavro"
                               << "my tools/tavro";
        QTest::newRow("dollar and quote") << "a$b\"c/tavro"
                                          << "a\\\\$b\\\\\"c/tavro";
        QTest::newRow("percent") << "100%/tavro"
                                 << "100%%/tavro";
        QTest::newRow("backslash") << "back\\slash/tavro"
                                   << "back\\\\\\\\slash/tavro";
    }
    void quotesTheProgramPath() {
        QFETCH(QString, name);
        QFETCH(QString, exec);
        QTemporaryDir home;
        const QString strExe = home.filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(strExe).absolutePath()));
        QFile(strExe).open(QIODevice::WriteOnly);
        RegisterDesktopFiles(home.path(), strExe);
        QCOMPARE(ExecLine(ReadText(home.filePath(kDesktopEntryFile))),
                 "Exec=\"" + home.path() + "/" + exec + "\" %f");
        // Read back as the same program: the entry is not stale.
        QVERIFY(!RegisterDesktopFiles(home.path(), strExe).bEntryChanged);
    }

    void unwritableFolderIsReportedNotFatal() {
        QTemporaryDir home;
        // A file where the applications folder should be.
        QFile blocker(home.filePath("applications"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const CDesktopRegistration registration =
            RegisterDesktopFiles(home.path(), home.filePath("tavro"));
        QCOMPARE(registration.failed, QStringList{home.filePath(kDesktopEntryFile)});
        QVERIFY(!registration.bEntryChanged);
        QVERIFY(registration.bMimeChanged);
    }

    void recentFileList() {
        QTemporaryDir dir;
        CRecentFileList list;
        QStringList added;
        for (const char* pszName : {"a.qcf", "b.qcf", "sub/../c.qcf", "a.qcf", "d.cmp", "e.qcf"}) {
            list.Add(dir.filePath(pszName));
        }
        // Newest first, one entry per file, four at most, clean absolute paths.
        QCOMPARE(list.Files(), (QStringList{dir.filePath("e.qcf"), dir.filePath("d.cmp"),
                                            dir.filePath("a.qcf"), dir.filePath("c.qcf")}));
        list.Remove(1);
        list.Remove(7);  // out of range: nothing
        QCOMPARE(list.Files().size(), 3);

        QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
        list.WriteList(settings);
        settings.setValue("Recent File List/File4", dir.filePath("e.qcf"));  // a repeat
        CRecentFileList back;
        back.ReadList(settings);
        QCOMPARE(back.Files(), list.Files());

        const struct {
            int nIndex;
            QString strPath, strText;
        } texts[] = {
            {0, "/data/clip.qcf", "&1 /data/clip.qcf"},
            {3, "/data/R&D/clip.qcf", "&4 /data/R&&D/clip.qcf"},
            {1, QDir::homePath() + "/clips/a.qcf", "&2 ~/clips/a.qcf"},
            {2, "/very/long/folder/names/that/go/on/and/on/for/ever/clip.qcf",
             "&3 /very/long/folder/names/that/go/on/.../clip.qcf"},
        };
        for (const auto& row : texts) {
            QCOMPARE(CRecentFileList::MenuText(row.nIndex, row.strPath), row.strText);
        }
    }
};

QTEST_MAIN(TestDesktopFiles)
#include "test_desktop_files.moc"
