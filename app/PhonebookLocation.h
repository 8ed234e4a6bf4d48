#pragma once

#include <QString>
#include <functional>

// Where the phone book lies, decided once at start-up:
// 1. a db.mdb beside the executable is the phone book;
// 2. else, when the user may write into the executable's folder (a build
//    folder, a portable copy) and no setup program installed it there, it is
//    db.mdb there, and its absence is the start-up error: nothing is created;
// 3. else (an installed program: in a folder the user may not write, or put
//    by the Windows setup program into one of the user's own) it is db.mdb in
//    the user's data folder, made there from the schema on the first start.
// A file that is there is always used as it is, even one that cannot be
// opened: nothing here replaces it.
struct PhonebookLocation {
    QString fileName;
    bool created = false; // rule 3 made a new, empty book just now
};

// Whether the user running the program may write into `folder`: the
// system's access check (root may write almost anywhere).
bool userMayWrite(const QString& folder);

// The user's own data folder of the program: ~/.local/share/zemvora-sms,
// or %LOCALAPPDATA%\Zemvora Sms on Windows.
QString userDataFolder();

// Whether the Windows setup program installed the executable in this folder:
// it leaves its uninstaller, uninstall.exe, beside it.
bool installedBySetup(const QString& executableDir);

using FolderCheck = std::function<bool(const QString& folder)>;

// Throws PhonebookError when rule 3 cannot make the new book.
PhonebookLocation locatePhonebook(const QString& executableDir, const QString& dataDir = userDataFolder(),
                                  const FolderCheck& mayWrite = userMayWrite);
