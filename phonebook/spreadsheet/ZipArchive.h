#pragma once

// Read-only view of a zip container, as .xlsx and .ods files are, read from the file where it lies. Part
// names are matched without regard to case or slash direction, as the package formats allow. Parts are read
// as they inflate, a piece at a time; the bytes inflated from one archive are bounded all together, by a
// budget that grows with the file's size, which is what stops a zip bomb, whatever sizes its parts declare.
// Only the methods workbooks are written with are inflated: stored and deflate.

#include <QHash>
#include <QString>
#include <memory>

struct zip;
struct zip_file;

namespace spreadsheet {

class SourceFile;
class ZipPart;

// What reading one archive may cost, in bytes inflated over every part read from it: kInflationAllowance,
// kInflationRatio times the file's size, and kRowCredit more for each row with data the sheet yields. XML
// costs more per byte the denser its markup, so each XML event (an element begun or ended, a piece of text)
// counts as kXmlEventBytes too: a unit then takes some 5 ns to read, bombs and real sheets alike. A file
// that yields nothing of use (a comment, blank rows, cells past the columns read, a few bytes inflating to
// gigabytes) is refused once it has cost as much as a megabyte of real rows, and a sheet of many rows may
// cost what its rows need.
inline constexpr qint64 kInflationAllowance = qint64(64) << 20;
inline constexpr qint64 kInflationRatio = 16;
inline constexpr qint64 kXmlEventBytes = 16;
inline constexpr qint64 kRowCredit = 2048;
inline constexpr qint64 kMaxInflatedBytes = 4LL << 30;
qint64 inflationBudget(qint64 fileSize);

class ZipArchive {
public:
    // Throws ReadError when the file is no readable zip container. The budget is inflationBudget() of the
    // file's size unless one is given.
    explicit ZipArchive(std::shared_ptr<const SourceFile> file, qint64 maxInflatedBytes = -1);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool contains(const QString& name) const;
    // The part, to be read from its start; ReadError when it is missing, encrypted or compressed by another
    // method than workbooks use.
    ZipPart open(const QString& name) const;
    // Counts bytes the file stands for without inflating them (a row it repeats, an XML event) against the
    // budget: ReadError when they take it past.
    void charge(qint64 bytes) const;
    // Widens the budget by kRowCredit for a row with data read.
    void creditRow() const { budget_ += kRowCredit; }

private:
    friend class ZipPart;
    struct Closer {
        void operator()(zip* archive) const;
    };
    static QString key(const QString& name);

    std::shared_ptr<const SourceFile> file_; // bytes in memory are read in place
    std::unique_ptr<zip, Closer> archive_;
    QHash<QString, qint64> index_;
    mutable qint64 budget_;
    mutable qint64 inflated_ = 0;
};

// One part of an archive as it inflates.
class ZipPart {
public:
    ZipPart(ZipPart&&) noexcept;
    ~ZipPart();

    const QString& name() const { return name_; }
    // The archive's budget, as ZipArchive::charge and creditRow.
    void charge(qint64 bytes) const { archive_->charge(bytes); }
    void creditRow() const { archive_->creditRow(); }
    // Up to size bytes of the part, 0 at its end. ReadError when the part is damaged, ends before or after
    // its declared size, fails its checksum (at its end), or the archive has inflated more than it may.
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
