#include "CellText.h"
#include "Readers.h"

#include <QStringDecoder>
#include <array>

namespace spreadsheet {
namespace {

QString decode(const QByteArray& data) {
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                           : QStringConverter::Utf16BE);
        QString text = decoder.decode(data.mid(2));
        if (decoder.hasError()) {
            throw ReadError(QStringLiteral("holds broken UTF-16 text"));
        }
        return text;
    }
    const QByteArray body = data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) {
        return text;
    }
    // Not UTF-8: a Turkish Windows program wrote it in its ANSI code page.
    return fromCodePage1254(body);
}

// Turkish locales write ";" as list separator; others "," or tab. The one seen most often outside quotes in
// the first lines wins, ";" before "," before tab on a tie.
QChar detectSeparator(const QString& text) {
    constexpr std::array<char16_t, 3> kCandidates = {u';', u',', u'\t'};
    std::array<qsizetype, 3> counts{};
    bool inQuotes = false;
    int lines = 0;
    for (qsizetype i = 0; i < text.size() && lines < 20; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
        } else if (!inQuotes && (c == QLatin1Char('\n') || c == QLatin1Char('\r'))) {
            ++lines;
        } else if (!inQuotes) {
            for (size_t k = 0; k < kCandidates.size(); ++k) {
                if (c == QChar(kCandidates[k])) {
                    ++counts[k];
                }
            }
        }
    }
    size_t best = 0;
    for (size_t k = 1; k < kCandidates.size(); ++k) {
        if (counts[k] > counts[best]) {
            best = k;
        }
    }
    return counts[best] > 0 ? QChar(kCandidates[best]) : QChar(u',');
}

} // namespace

std::unique_ptr<GridWorksheet> readCsv(const QByteArray& data) {
    if (data.left(4096).contains('\0') && !data.startsWith("\xFF\xFE") && !data.startsWith("\xFE\xFF")) {
        throw ReadError(notSpreadsheetText());
    }
    const QString text = decode(data);
    const QChar separator = detectSeparator(text);

    RowCollector rows;
    long long rowNumber = 1;
    long long column = 1;
    QString field;
    bool quoted = false;       // inside a quoted part of the field
    bool fieldStarted = false; // the field has any content, quoted or not
    auto storeField = [&] {
        if (Cell* cell = rows.cell(column); cell && !field.isEmpty()) {
            cell->kind = CellKind::Text;
            cell->text = field;
        }
        field.clear();
        fieldStarted = false;
        ++column;
    };
    auto endRecord = [&] {
        storeField();
        rows.endRow();
        column = 1;
        ++rowNumber;
        if (!rows.done()) {
            rows.beginRow(rowNumber);
        }
    };

    rows.beginRow(rowNumber);
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size && !rows.done(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c != QLatin1Char('"')) {
                field.append(c);
            } else if (i + 1 < size && text.at(i + 1) == QLatin1Char('"')) {
                field.append(text.at(++i));
            } else {
                quoted = false;
            }
        } else if (c == QLatin1Char('"') && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == separator) {
            storeField();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n')) {
                ++i;
            }
            endRecord();
        } else {
            field.append(c);
            fieldStarted = true;
        }
    }
    if (quoted) {
        throw ReadError(QStringLiteral("ends inside a quoted field"));
    }
    if (!rows.done() && (fieldStarted || column > 1)) {
        storeField();
    }
    return std::make_unique<GridWorksheet>(rows.take());
}

} // namespace spreadsheet
