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

// The mimetype part of an OpenDocument package, which is a few bytes.
QByteArray mimetypeOf(const ZipArchive& zip) {
    ZipPart part = zip.open(QStringLiteral("mimetype"));
    QByteArray text(256, Qt::Uninitialized);
    text.truncate(part.read(text.data(), text.size()));
    return text.trimmed();
}

RowSourceOpener readFile(const std::shared_ptr<const SourceFile>& file) {
    QByteArray head(512, Qt::Uninitialized);
    head.truncate(file->read(0, head.data(), head.size()));
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06")) {
        return readZipWorkbook(std::make_shared<const ZipArchive>(file));
    }
    if (CompoundFile::hasSignature(head) || isBareBiff(head)) {
        return readXls(file->readAll(kMaxXlsBytes));
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

} // namespace spreadsheet

std::unique_ptr<Worksheet> openFirstWorksheet(const QString& fileName) {
    using namespace spreadsheet;
    RowSourceOpener rows;
    try {
        rows = readFile(SourceFile::open(fileName));
    } catch (const ReadError& error) {
        throw SpreadsheetError((fileName + QStringLiteral(": ")).toStdString() + error.what());
    }
    return std::make_unique<StreamedWorksheet>(fileName, std::move(rows));
}
