#pragma once
// Makes the desktop know Tavro: a freedesktop application entry that opens
// .qcf files, the "QCF Stream" file type for *.qcf, and the icons of both.
// Installed system-wide by `cmake --install`; at start-up the files are put
// into the user's own data folder when they are missing there.

#include <QString>
#include <QStringList>

// File names under a freedesktop data folder (e.g. ~/.local/share).
inline constexpr const char* kDesktopEntryFile = "applications/tavro.desktop";
inline constexpr const char* kMimePackageFile = "mime/packages/tavro-qcf.xml";
inline constexpr const char* kAppIconFile = "icons/hicolor/256x256/apps/tavro.png";
inline constexpr const char* kTypeIconFile = "icons/hicolor/256x256/mimetypes/video-x-qcf.png";
inline constexpr const char* kQcfMimeType = "video/x-qcf";

// The application entry that starts strExecutable (quoted as the entry format
// requires) with the file to open.
QString DesktopEntryText(const QString& strExecutable);
// The shared-mime-info package describing *.qcf.
QString MimePackageText();

struct CDesktopRegistration {
    QStringList written;  // files created (full paths)
    QStringList failed;   // files that could not be written
    bool bMimeChanged = false;
    bool bEntryChanged = false;
};

// Writes each file that is missing under strDataHome, and rewrites the entry
// when the program it starts no longer exists. Never throws and never asks;
// failures are only listed.
CDesktopRegistration RegisterDesktopFiles(const QString& strDataHome, const QString& strExecutable);

// The user's data folder: $XDG_DATA_HOME, else ~/.local/share.
QString UserDataHome();

// Start-up step: registers for the running program in the user's data folder
// and, when something changed, refreshes the desktop's caches with
// update-mime-database and update-desktop-database if they are installed (in
// the background, so start-up does not wait).
void RegisterForUser();
