#pragma once

// The bytes of the file being read: a regular file on disk, read where it lies, or bytes in memory.

#include <QByteArray>
#include <QString>
#include <memory>
#include <stop_token>

namespace spreadsheet {

class SourceFile {
public:
    // Opens a regular file for reading. A folder, named pipe, device or socket is refused at once with a
    // ReadError saying what it is; opening never waits on a pipe. "açılamıyor: <reason>" otherwise. Once
    // `stop` is requested, reading throws ReadError: another thread ends a read early so.
    static std::shared_ptr<const SourceFile> open(const QString& fileName, std::stop_token stop = {});

    explicit SourceFile(QByteArray bytes);
    // Takes an open descriptor over.
    explicit SourceFile(int descriptor);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Up to size bytes from offset, fewer only at the end; ReadError when reading fails.
    qint64 read(qint64 offset, char* into, qint64 size) const;
    // The whole file; ReadError when it is larger than limit.
    QByteArray readAll(qint64 limit) const;
    // The size the file reports; 0 when it reports none.
    qint64 size() const;
    // ReadError once the stop given at opening was requested; every read checks it.
    void throwIfStopped() const;
    std::stop_token stopToken() const { return stop_; }

    // A descriptor of the file that the caller owns, or -1 for bytes in memory.
    int duplicateDescriptor() const;
    const QByteArray& bytes() const { return bytes_; }

private:
    int descriptor_ = -1;
    QByteArray bytes_;
    std::stop_token stop_;
};

} // namespace spreadsheet
