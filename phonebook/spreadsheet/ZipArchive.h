#pragma once

// Read-only view of a zip container in memory, as .xlsx and .ods files are. Part names are matched without
// regard to case or slash direction, as the package formats allow; every read is bounded in size.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>
#include <optional>

struct zip;

namespace spreadsheet {

class ZipArchive {
public:
    // Throws ReadError when the data is no readable zip container.
    explicit ZipArchive(QByteArray data);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool contains(const QString& name) const;
    // The unpacked part; ReadError when it is missing, encrypted, damaged or over kMaxPartBytes unpacked.
    QByteArray read(const QString& name) const;
    std::optional<QByteArray> readIfPresent(const QString& name) const;

private:
    struct Closer {
        void operator()(zip* archive) const;
    };
    static QString key(const QString& name);

    QByteArray data_; // libzip reads it in place
    std::unique_ptr<zip, Closer> archive_;
    QHash<QString, qint64> index_;
};

} // namespace spreadsheet
