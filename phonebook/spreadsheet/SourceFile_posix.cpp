#include "Sheet.h"
#include "SourceFilePlatform.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace spreadsheet::platform {
namespace {

QString systemError(int error) {
    switch (error) {
    case ENOENT:
        return QStringLiteral("böyle bir dosya yok");
    case EACCES:
    case EPERM:
        return QStringLiteral("okuma izni yok");
    case ENAMETOOLONG:
        return QStringLiteral("adı çok uzun");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("açık dosya sayısı sınırda");
    case EIO:
        return QStringLiteral("disk okunamıyor");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

[[noreturn]] void cannotOpen(int error) {
    throw ReadError(QStringLiteral("açılamıyor: ") + systemError(error));
}

void refuseUnlessRegular(mode_t mode) {
    if (S_ISREG(mode)) {
        return;
    }
    if (S_ISDIR(mode)) {
        throw ReadError(QStringLiteral("bir klasör, dosya değil"));
    }
    if (S_ISFIFO(mode)) {
        throw ReadError(QStringLiteral("adlandırılmış bir boru, dosya değil"));
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        throw ReadError(QStringLiteral("bir aygıt, dosya değil"));
    }
    if (S_ISSOCK(mode)) {
        throw ReadError(QStringLiteral("bir soket, dosya değil"));
    }
    throw ReadError(QStringLiteral("sıradan bir dosya değil"));
}

} // namespace

int openFile(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    // What the name stands for is known before it is opened: opening a pipe would wait for a writer.
    struct stat status {};
    if (::stat(path.constData(), &status) == 0) {
        refuseUnlessRegular(status.st_mode);
    }
    // The name may be swapped for a pipe meanwhile: opening does not wait, and the opened file is checked.
    const int descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        cannotOpen(errno);
    }
    return descriptor;
}

void requireRegularFile(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        cannotOpen(errno);
    }
    refuseUnlessRegular(status.st_mode);
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        cannotOpen(errno);
    }
}

void closeFile(int descriptor) {
    ::close(descriptor);
}

qint64 readAt(int descriptor, qint64 offset, char* into, qint64 size) {
    for (;;) {
        const ssize_t got = ::pread(descriptor, into, static_cast<size_t>(size), offset);
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            throw ReadError(QStringLiteral("okunamıyor: ") + systemError(errno));
        }
    }
}

qint64 reportedSize(int descriptor) {
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 ? status.st_size : -1;
}

int duplicateFile(int descriptor) {
    const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        cannotOpen(errno);
    }
    return copy;
}

} // namespace spreadsheet::platform
