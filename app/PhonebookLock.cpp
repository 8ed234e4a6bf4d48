#include "PhonebookLock.h"

#include "PhonebookLocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

bool PhonebookLock::tryLock(const QString& bookFile, const QString& dataFolder) {
    const QFileInfo book(bookFile);
    const QString real =
        book.canonicalFilePath().isEmpty() ? book.absoluteFilePath() : book.canonicalFilePath();
    const QString folder = QFileInfo(real).absolutePath();
    QString lockFile = real + QStringLiteral(".lock");
    if (!userMayWrite(folder)) {
        const QByteArray key = QCryptographicHash::hash(real.toUtf8(), QCryptographicHash::Sha1).toHex();
        QDir().mkpath(dataFolder);
        lockFile = QDir(dataFolder).filePath(QString::fromLatin1(key) + QStringLiteral(".lock"));
    }
    lock_ = std::make_unique<QLockFile>(lockFile);
    // Only a lock whose process is gone is stale, however long the program has been running.
    lock_->setStaleLockTime(0);
    // Where no lock can be made at all (no folder of the user's may be written), none can hold the
    // book either: the program goes on without one.
    return lock_->tryLock(0) || lock_->error() != QLockFile::LockFailedError;
}

QString PhonebookLock::fileName() const {
    return lock_ ? lock_->fileName() : QString();
}
