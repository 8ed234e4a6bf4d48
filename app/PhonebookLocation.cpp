#include "PhonebookLocation.h"

#include "phonebook/NewPhonebook.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
// Without it Windows reports a folder's read-only attribute, not whether
// the user may write into it.
extern Q_CORE_EXPORT int qt_ntfs_permission_lookup;
#endif

bool userMayWrite(const QString& folder) {
#ifdef Q_OS_WIN
    ++qt_ntfs_permission_lookup;
#endif
    const QFileInfo info(folder);
    const bool writable = info.isDir() && info.isWritable();
#ifdef Q_OS_WIN
    --qt_ntfs_permission_lookup;
#endif
    return writable;
}

QString userDataFolder() {
#ifdef Q_OS_WIN
    // %LOCALAPPDATA%\Zemvora Sms: named as Windows programs name their folders.
    const QString name = QStringLiteral("/Zemvora Sms");
#else
    const QString name = QStringLiteral("/zemvora-sms");
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + name;
}

bool installedBySetup(const QString& executableDir) {
    return QFileInfo::exists(QDir(executableDir).filePath(QStringLiteral("uninstall.exe")));
}

PhonebookLocation locatePhonebook(const QString& executableDir, const QString& dataDir,
                                  const FolderCheck& mayWrite) {
    const QString beside = QDir(executableDir).filePath(QStringLiteral("db.mdb"));
    if (QFileInfo::exists(beside) || (mayWrite(executableDir) && !installedBySetup(executableDir))) {
        return {beside, false};
    }
    const QString own = QDir(dataDir).filePath(QStringLiteral("db.mdb"));
    if (QFileInfo::exists(own)) {
        return {own, false};
    }
    return {own, createPhonebook(own)};
}
