#include "SourceFile.h"

#include "Sheet.h"
#include "SourceFilePlatform.h"

#include <algorithm>
#include <cstring>

namespace spreadsheet {

std::shared_ptr<const SourceFile> SourceFile::open(const QString& fileName, std::stop_token stop) {
    // Owned at once, so that a refused file is closed.
    auto file = std::make_shared<SourceFile>(platform::openFile(fileName));
    file->stop_ = std::move(stop);
    platform::requireRegularFile(file->descriptor_);
    return file;
}

SourceFile::SourceFile(int descriptor) : descriptor_(descriptor) {}

SourceFile::SourceFile(QByteArray bytes) : bytes_(std::move(bytes)) {}

SourceFile::~SourceFile() {
    if (descriptor_ >= 0) {
        platform::closeFile(descriptor_);
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
    return std::max<qint64>(platform::reportedSize(descriptor_), 0);
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
        const qint64 got = platform::readAt(descriptor_, offset + done, into + done, size - done);
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
    return platform::duplicateFile(descriptor_);
}

} // namespace spreadsheet
