#include "SourceFile.h"

#include "Sheet.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace spreadsheet {
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

std::shared_ptr<const SourceFile> SourceFile::open(const QString& fileName, std::stop_token stop) {
    const QByteArray path = QFile::encodeName(fileName);
    // What the name stands for is known before it is opened: opening a pipe would wait for a writer.
    struct stat status {};
    if (::stat(path.constData(), &status) == 0) {
        refuseUnlessRegular(status.st_mode);
    }
    // The name may be swapped for a pipe meanwhile: opening does not wait, and the opened file is checked.
    const int descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        throw ReadError(QStringLiteral("açılamıyor: ") + systemError(errno));
    }
    auto file = std::make_shared<SourceFile>(descriptor);
    file->stop_ = std::move(stop);
    if (::fstat(descriptor, &status) != 0) {
        throw ReadError(QStringLiteral("açılamıyor: ") + systemError(errno));
    }
    refuseUnlessRegular(status.st_mode);
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        throw ReadError(QStringLiteral("açılamıyor: ") + systemError(errno));
    }
    return file;
}

SourceFile::SourceFile(int descriptor) : descriptor_(descriptor) {}

SourceFile::SourceFile(QByteArray bytes) : bytes_(std::move(bytes)) {}

SourceFile::~SourceFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

void SourceFile::throwIfStopped() const {
    if (stop_.stop_requested()) {
        throw ReadError(QStringLiteral("okuma durduruldu"));
    }
}

qint64 SourceFile::size() const {
    if (descriptor_ < 0) {
        return bytes_.size();
    }
    struct stat status {};
    return ::fstat(descriptor_, &status) == 0 ? static_cast<qint64>(status.st_size) : 0;
}

qint64 SourceFile::read(qint64 offset, char* into, qint64 size) const {
    throwIfStopped();
    if (descriptor_ < 0) {
        if (offset >= bytes_.size()) {
            return 0;
        }
        const qint64 count = std::min(size, bytes_.size() - offset);
        std::memcpy(into, bytes_.constData() + offset, static_cast<size_t>(count));
        return count;
    }
    qint64 done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(descriptor_, into + done, static_cast<size_t>(size - done), offset + done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw ReadError(QStringLiteral("okunamıyor: ") + systemError(errno));
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

QByteArray SourceFile::readAll(qint64 limit) const {
    // One byte past the limit tells a file that is too large, however it reports its size.
    QByteArray data;
    if (const qint64 reported = size(); reported > 0) {
        data.reserve(std::min(reported, limit) + 1);
    }
    constexpr qint64 kPiece = 1 << 20;
    for (qint64 got = kPiece; got == kPiece && data.size() <= limit;) {
        const qsizetype at = data.size();
        data.resize(at + kPiece);
        got = read(at, data.data() + at, kPiece);
        data.truncate(at + got);
    }
    if (data.size() > limit) {
        throw ReadError(QStringLiteral("%1 MiB'tan büyük").arg(limit / (1024LL * 1024)));
    }
    return data;
}

int SourceFile::duplicateDescriptor() const {
    if (descriptor_ < 0) {
        return -1;
    }
    const int copy = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        throw ReadError(QStringLiteral("açılamıyor: ") + systemError(errno));
    }
    return copy;
}

} // namespace spreadsheet
