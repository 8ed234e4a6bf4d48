#include "Worksheet.h"

#include "CompoundFile.h"
#include "Readers.h"
#include "ZipArchive.h"

#include <QFile>
#include <algorithm>

namespace spreadsheet {
namespace {

constexpr qint64 kReadStep = 1024LL * 1024;

// BIFF2 to BIFF8 streams saved bare, without a compound file around them, start with their BOF record.
bool isBareBiff(const QByteArray& data) {
    if (data.size() < 8 || data[0] != '\x09') {
        return false;
    }
    const char version = data[1];
    const int length = static_cast<unsigned char>(data[2]) | static_cast<unsigned char>(data[3]) << 8;
    return (version == '\x00' || version == '\x02' || version == '\x04' || version == '\x08') &&
           length >= 4 && length <= 20;
}

} // namespace

std::unique_ptr<GridWorksheet> readZipWorkbook(const QByteArray& data) {
    ZipArchive zip(data);
    if (const auto mimetype = zip.readIfPresent(QStringLiteral("mimetype"))) {
        if (mimetype->trimmed() != "application/vnd.oasis.opendocument.spreadsheet") {
            throw ReadError(notSpreadsheetText());
        }
        return readOds(zip);
    }
    if (zip.contains(QStringLiteral("content.xml"))) {
        return readOds(zip);
    }
    if (zip.contains(QStringLiteral("[Content_Types].xml")) || zip.contains(QStringLiteral("_rels/.rels"))) {
        return readXlsx(zip);
    }
    throw ReadError(notSpreadsheetText());
}

} // namespace spreadsheet

std::unique_ptr<Worksheet> openFirstWorksheet(const QString& fileName) {
    using namespace spreadsheet;
    auto fail = [&](const QString& what) {
        return SpreadsheetError((fileName + QStringLiteral(": ") + what).toStdString());
    };
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw fail(QStringLiteral("cannot be opened: ") + file.errorString());
    }
    // One byte past the limit tells a file that is too large, however it reports its size. Read in
    // steps into a buffer of the size the file reports: asking for the whole limit at once would take a
    // buffer of that size for any file.
    QByteArray data;
    data.reserve(std::min(file.size(), kMaxFileBytes) + 1);
    while (data.size() <= kMaxFileBytes) {
        const QByteArray step = file.read(std::min<qint64>(kReadStep, kMaxFileBytes + 1 - data.size()));
        if (step.isEmpty()) {
            break;
        }
        data += step;
    }
    if (data.size() > kMaxFileBytes) {
        throw fail(QStringLiteral("is larger than %1 MiB").arg(kMaxFileBytes / (1024LL * 1024)));
    }
    if (file.error() != QFileDevice::NoError) {
        throw fail(QStringLiteral("cannot be opened: ") + file.errorString());
    }
    file.close();
    try {
        if (data.startsWith("PK\x03\x04") || data.startsWith("PK\x05\x06")) {
            return readZipWorkbook(data);
        }
        if (CompoundFile::hasSignature(data) || isBareBiff(data)) {
            return readXls(data);
        }
        return readCsv(data);
    } catch (const ReadError& error) {
        throw fail(QString::fromStdString(error.what()));
    }
}
