#pragma once

// Read-only view of a zip container, as .xlsx and .ods files are, read from the file where it lies. Part
// names are matched without regard to case or slash direction, as the package formats allow. Parts are read
// as they inflate, a piece at a time; the bytes inflated from one archive are bounded all together, which is
// what stops a zip bomb, whatever sizes its parts declare.

#include <QHash>
#include <QString>
#include <memory>

struct zip;
struct zip_file;

namespace spreadsheet {

class SourceFile;
class ZipPart;

// What one archive may inflate, summed over every part read from it.
inline constexpr qint64 kMaxInflatedBytes = 4LL << 30;

class ZipArchive {
public:
    // Throws ReadError when the file is no readable zip container.
    explicit ZipArchive(std::shared_ptr<const SourceFile> file, qint64 maxInflatedBytes = kMaxInflatedBytes);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool contains(const QString& name) const;
    // The part, to be read from its start; ReadError when it is missing or encrypted.
    ZipPart open(const QString& name) const;

private:
    friend class ZipPart;
    struct Closer {
        void operator()(zip* archive) const;
    };
    static QString key(const QString& name);

    std::shared_ptr<const SourceFile> file_; // bytes in memory are read in place
    std::unique_ptr<zip, Closer> archive_;
    QHash<QString, qint64> index_;
    qint64 maxInflated_;
    mutable qint64 inflated_ = 0;
};

// One part of an archive as it inflates.
class ZipPart {
public:
    ZipPart(ZipPart&&) noexcept;
    ~ZipPart();

    const QString& name() const { return name_; }
    // Up to size bytes of the part, 0 at its end. ReadError when the part is damaged, ends before or after
    // its declared size, or the archive has inflated more than it may.
    qint64 read(char* into, qint64 size);

private:
    friend class ZipArchive;
    struct Closer {
        void operator()(zip_file* file) const;
    };
    ZipPart(const ZipArchive& archive, QString name, zip_file* file, qint64 declaredSize);

    const ZipArchive* archive_;
    QString name_;
    std::unique_ptr<zip_file, Closer> file_;
    qint64 declaredSize_; // -1 when the archive does not say
    qint64 read_ = 0;
};

} // namespace spreadsheet
