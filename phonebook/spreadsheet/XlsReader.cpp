// Binary Excel workbooks (.xls, BIFF2 to BIFF8) through FreeXL, which converts text from the workbook's
// code page and tells dates from numbers by their cell format.

#include "CellText.h"
#include "Readers.h"

#include <QDateTime>
#include <QFile>
#include <freexl.h>

namespace spreadsheet {
namespace {

struct FreeXlCloser {
    void operator()(const void* handle) const { freexl_close(handle); }
};
using FreeXlHandle = std::unique_ptr<const void, FreeXlCloser>;

// FreeXL hands back no workbook for files it will not read, password protected ones among them. A
// FILEPASS record (0x002F) among the first records after the workbook's BOF tells those apart.
bool looksPasswordProtected(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.read(1024 * 1024);
    for (qsizetype at = data.indexOf(QByteArray::fromHex("09081000")); at >= 0;
         at = data.indexOf(QByteArray::fromHex("09081000"), at + 1)) {
        qsizetype record = at;
        for (int k = 0; k < 64 && record + 4 <= data.size(); ++k) {
            const auto id =
                static_cast<unsigned char>(data[record]) | static_cast<unsigned char>(data[record + 1]) << 8;
            const auto length = static_cast<unsigned char>(data[record + 2]) |
                                static_cast<unsigned char>(data[record + 3]) << 8;
            if (id == 0x002F)
                return true;
            if (id == 0x000A) // EOF of the globals
                break;
            record += 4 + length;
        }
    }
    return false;
}

Cell cellOf(const FreeXL_CellValue& value) {
    switch (value.type) {
    case FREEXL_CELL_INT:
        return {CellKind::Number, generalNumber(value.value.int_value)};
    case FREEXL_CELL_DOUBLE:
        if (!std::isfinite(value.value.double_value))
            throw ReadError(QStringLiteral("holds a number that is none"));
        return {CellKind::Number, generalNumber(value.value.double_value)};
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT: {
        QString text = QString::fromUtf8(value.value.text_value);
        if (text.isEmpty())
            return {};
        return {CellKind::Text, std::move(text)};
    }
    case FREEXL_CELL_DATE: // "YYYY-MM-DD"
        return {CellKind::Date,
                dateText(QDate::fromString(QString::fromLatin1(value.value.text_value), Qt::ISODate))};
    case FREEXL_CELL_DATETIME: { // "YYYY-MM-DD HH:MM:SS"
        const QDateTime dateTime = QDateTime::fromString(QString::fromLatin1(value.value.text_value),
                                                         QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return {CellKind::Date, dateTimeText(dateTime.date(), dateTime.time())};
    }
    case FREEXL_CELL_TIME: // "HH:MM:SS"
        return {CellKind::Date, timeText(QTime::fromString(QString::fromLatin1(value.value.text_value),
                                                           QStringLiteral("HH:mm:ss")))};
    default:
        return {};
    }
}

} // namespace

std::unique_ptr<GridWorksheet> readXls(const QString& path) {
    const void* raw = nullptr;
    const int opened = freexl_open(QFile::encodeName(path).constData(), &raw);
    const FreeXlHandle handle(raw);
    if (opened == FREEXL_FILE_NOT_FOUND)
        throw ReadError(QStringLiteral("cannot be opened: no such file"));
    if (opened == FREEXL_INSUFFICIENT_MEMORY)
        throw ReadError(QStringLiteral("is too large to read"));
    if (opened != FREEXL_OK)
        throw ReadError(QStringLiteral("is a damaged .xls file (FreeXL error %1)").arg(opened));
    unsigned int sheets = 0;
    if (!handle || freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK ||
        sheets == 0) {
        if (looksPasswordProtected(path))
            throw ReadError(passwordProtectedText());
        throw ReadError(QStringLiteral("is an .xls file whose workbook cannot be read"));
    }
    unsigned int protection = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_PASSWORD, &protection) == FREEXL_OK &&
        protection == FREEXL_BIFF_OBFUSCATED)
        throw ReadError(passwordProtectedText());

    unsigned int rowCount = 0;
    unsigned short columnCount = 0;
    if (freexl_select_active_worksheet(handle.get(), 0) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle.get(), &rowCount, &columnCount) != FREEXL_OK)
        throw ReadError(QStringLiteral("is an .xls file whose first worksheet cannot be read"));

    RowCollector collector;
    const unsigned int columns = std::min<unsigned int>(columnCount, kReadColumns);
    for (unsigned int r = 0; r < rowCount && !collector.done(); ++r) {
        Row* row = collector.beginRow(static_cast<long long>(r) + 1);
        for (unsigned int c = 0; row && c < columns; ++c) {
            FreeXL_CellValue value;
            const int got = freexl_get_cell_value(handle.get(), r, static_cast<unsigned short>(c), &value);
            if (got != FREEXL_OK)
                throw ReadError(QStringLiteral("is a damaged .xls file (FreeXL error %1)").arg(got));
            (*row)[c] = cellOf(value);
        }
        collector.endRow();
    }
    return std::make_unique<GridWorksheet>(collector.take());
}

} // namespace spreadsheet
