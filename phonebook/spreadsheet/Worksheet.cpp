#include "Worksheet.h"

#include "CompoundFile.h"
#include "Readers.h"
#include "SourceFile.h"
#include "StreamedWorksheet.h"
#include "ZipArchive.h"

namespace spreadsheet {
namespace {

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

// The mimetype part of an OpenDocument package, which is a few bytes; read to its end, so that its
// checksum is checked.
QByteArray mimetypeOf(const ZipArchive& zip) {
    ZipPart part = zip.open(QStringLiteral("mimetype"));
    QByteArray text(256, Qt::Uninitialized);
    text.truncate(part.read(text.data(), text.size()));
    char scrap[256];
    while (part.read(scrap, sizeof scrap) > 0) {
    }
    return text.trimmed();
}

RowSourceOpener readFile(const std::shared_ptr<const SourceFile>& file) {
    QByteArray head(512, Qt::Uninitialized);
    head.truncate(file->read(0, head.data(), head.size()));
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06")) {
        return readZipWorkbook(std::make_shared<const ZipArchive>(file));
    }
    if (CompoundFile::hasSignature(head) || isBareBiff(head)) {
        return readXls(file->readAll(kMaxXlsBytes), file->stopToken());
    }
    return readCsv(file);
}

} // namespace

RowSourceOpener readZipWorkbook(std::shared_ptr<const ZipArchive> zip) {
    if (zip->contains(QStringLiteral("mimetype"))) {
        if (mimetypeOf(*zip) != "application/vnd.oasis.opendocument.spreadsheet") {
            throw ReadError(notSpreadsheetText());
        }
        return readOds(std::move(zip));
    }
    if (zip->contains(QStringLiteral("content.xml"))) {
        return readOds(std::move(zip));
    }
    if (zip->contains(QStringLiteral("[Content_Types].xml")) ||
        zip->contains(QStringLiteral("_rels/.rels"))) {
        return readXlsx(zip);
    }
    throw ReadError(notSpreadsheetText());
}

std::unique_ptr<Worksheet> openWorksheet(const QString& fileName, std::stop_token stop) {
    RowSourceOpener rows;
    try {
        rows = readFile(SourceFile::open(fileName, std::move(stop)));
    } catch (const ReadError& error) {
        throw SpreadsheetError(fileName, QString::fromStdString(error.what()), error.row(), error.column());
    } catch (const std::bad_alloc&) {
        throw SpreadsheetError::outOfMemory(fileName);
    }
    return std::make_unique<StreamedWorksheet>(fileName, std::move(rows));
}

} // namespace spreadsheet

namespace {

std::string messageOf(const QString& fileName, const QString& reason, long long row, long long column) {
    QString place;
    if (row > 0) {
        place = column > 0 ? QStringLiteral("satır %1, sütun %2: ").arg(row).arg(column)
                           : QStringLiteral("satır %1: ").arg(row);
    }
    return (fileName + QStringLiteral(": ") + place + reason).toStdString();
}

} // namespace

SpreadsheetError::SpreadsheetError(const QString& fileName, const QString& reason, long long row,
                                   long long column)
    : std::runtime_error(messageOf(fileName, reason, row, column)), fileName_(fileName), reason_(reason),
      row_(row), column_(column) {}

SpreadsheetError::SpreadsheetError(const std::string& message, const QString& fileName, const QString& reason)
    : std::runtime_error(message), fileName_(fileName), reason_(reason), row_(0), column_(0) {}

SpreadsheetError SpreadsheetError::outOfMemory(const QString& fileName) {
    const QString message = QStringLiteral("Bellek yetmedi: %1").arg(fileName);
    return SpreadsheetError(message.toStdString(), fileName, message);
}

std::unique_ptr<Worksheet> openFirstWorksheet(const QString& fileName) {
    return spreadsheet::openWorksheet(fileName, {});
}
