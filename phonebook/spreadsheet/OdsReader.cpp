// OpenDocument spreadsheets (.ods): the first table of content.xml.

#include "CellText.h"
#include "Readers.h"
#include "Xml.h"
#include "ZipArchive.h"

#include <QDateTime>
#include <QRegularExpression>
#include <cmath>

namespace spreadsheet {
namespace {

const QString kContent = QStringLiteral("content.xml");

// Space runs (<text:s text:c="1000"/>) let a few bytes stand for many characters; no cell needs more than
// this.
constexpr qsizetype kMaxCellCharacters = qsizetype(1) << 20;

// The cell's paragraphs, one line each; comments attached to the cell are not its text.
QString readCellText(QXmlStreamReader& xml) {
    QString text;
    int depth = 1;
    int paragraphs = 0;
    int paragraphDepth = 0;
    while (depth > 0) {
        if (text.size() > kMaxCellCharacters) {
            throw ReadError(QStringLiteral("part content.xml holds a cell of more than %1 characters")
                                .arg(kMaxCellCharacters));
        }
        switch (nextToken(xml, kContent)) {
        case QXmlStreamReader::StartElement: {
            const QStringView name = xml.name();
            if (name == QLatin1String("annotation")) {
                xml.skipCurrentElement();
                break;
            }
            ++depth;
            if (paragraphDepth == 0 && (name == QLatin1String("p") || name == QLatin1String("h"))) {
                if (paragraphs++ > 0) {
                    text.append(QLatin1Char('\n'));
                }
                paragraphDepth = depth;
            } else if (paragraphDepth > 0 && name == QLatin1String("s")) {
                const QXmlStreamAttributes attributes = xml.attributes();
                const QStringView count = attribute(attributes, QLatin1String("c"));
                text.append(
                    QString(count.isEmpty() ? 1 : std::clamp(count.toInt(), 0, 1000), QLatin1Char(' ')));
            } else if (paragraphDepth > 0 && name == QLatin1String("tab")) {
                text.append(QLatin1Char('\t'));
            } else if (paragraphDepth > 0 && name == QLatin1String("line-break")) {
                text.append(QLatin1Char('\n'));
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (depth == paragraphDepth) {
                paragraphDepth = 0;
            }
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (paragraphDepth > 0) {
                text.append(xml.text());
            }
            break;
        case QXmlStreamReader::EndDocument:
            throw ReadError(QStringLiteral("part content.xml ends too early"));
        default:
            break;
        }
    }
    return text;
}

// "PT10H10M10.5S" -> seconds; durations past a day keep counting hours.
std::optional<double> durationSeconds(const QString& value) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(-)?P(?:(\d+)D)?T?(?:(\d+)H)?(?:(\d+)M)?(?:(\d+(?:\.\d*)?)S)?$)"));
    const QRegularExpressionMatch match = pattern.match(value);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const double seconds = match.capturedView(2).toDouble() * 86400 +
                           match.capturedView(3).toDouble() * 3600 + match.capturedView(4).toDouble() * 60 +
                           match.capturedView(5).toDouble();
    return match.capturedView(1).isEmpty() ? seconds : -seconds;
}

Cell typedCell(QXmlStreamReader& xml) {
    const QXmlStreamAttributes attributes = xml.attributes();
    const QString type = attribute(attributes, QLatin1String("value-type")).toString();
    const bool hasFormula = !attribute(attributes, QLatin1String("formula")).isEmpty();
    if (type == QLatin1String("float") || type == QLatin1String("percentage") ||
        type == QLatin1String("currency")) {
        bool ok = false;
        const double value = attribute(attributes, QLatin1String("value")).trimmed().toDouble(&ok);
        xml.skipCurrentElement();
        if (!ok || !std::isfinite(value)) {
            throw ReadError(QStringLiteral("part content.xml holds a number that is none"));
        }
        return {CellKind::Number, generalNumber(value)};
    }
    if (type == QLatin1String("date")) {
        const QString value = attribute(attributes, QLatin1String("date-value")).trimmed().toString();
        xml.skipCurrentElement();
        const QDateTime dateTime = QDateTime::fromString(value, Qt::ISODateWithMs);
        if (dateTime.isValid()) {
            const QTime time = dateTime.time();
            return {CellKind::Date,
                    dateTimeText(dateTime.date(), QTime(time.hour(), time.minute(), time.second()))};
        }
        const QDate date = QDate::fromString(value, Qt::ISODate);
        if (!date.isValid()) {
            throw ReadError(
                QStringLiteral("part content.xml holds a date that is none: %1").arg(value.left(40)));
        }
        return {CellKind::Date, dateText(date)};
    }
    if (type == QLatin1String("time")) {
        const QString value = attribute(attributes, QLatin1String("time-value")).trimmed().toString();
        xml.skipCurrentElement();
        const std::optional<double> seconds = durationSeconds(value);
        if (!seconds) {
            throw ReadError(
                QStringLiteral("part content.xml holds a time that is none: %1").arg(value.left(40)));
        }
        const auto whole = std::llround(*seconds);
        if (whole >= 0 && whole < 86400) {
            return {CellKind::Date, timeText(QTime(0, 0).addSecs(static_cast<int>(whole)))};
        }
        // Elapsed time past a day, as [h]:mm:ss shows it.
        const long long magnitude = std::llabs(whole);
        return {CellKind::Date, QStringLiteral("%1%2:%3:%4")
                                    .arg(whole < 0 ? QStringLiteral("-") : QString())
                                    .arg(magnitude / 3600)
                                    .arg(magnitude / 60 % 60, 2, 10, QLatin1Char('0'))
                                    .arg(magnitude % 60, 2, 10, QLatin1Char('0'))};
    }
    if (type == QLatin1String("boolean")) {
        const QStringView value = attribute(attributes, QLatin1String("boolean-value")).trimmed();
        const bool truth = value == QLatin1String("true") || value == QLatin1String("1");
        xml.skipCurrentElement();
        return {CellKind::Boolean, truth ? QStringLiteral("True") : QStringLiteral("False")};
    }
    const QStringView stringValue = attribute(attributes, QLatin1String("string-value"));
    if (type == QLatin1String("string") && !stringValue.isEmpty()) {
        const QString text = stringValue.toString();
        xml.skipCurrentElement();
        return {CellKind::Text, text};
    }
    const QString text = readCellText(xml);
    if (text.isEmpty()) {
        return {};
    }
    // A formula that failed has no value type; its text is the error ("#DIV/0!", "Err:502").
    return {type.isEmpty() && hasFormula ? CellKind::Error : CellKind::Text, text};
}

long long repeatCount(const QXmlStreamAttributes& attributes, QLatin1String name) {
    const QStringView value = attribute(attributes, name);
    if (value.isEmpty()) {
        return 1;
    }
    bool ok = false;
    const long long count = value.toLongLong(&ok);
    if (!ok || count < 1) {
        throw ReadError(
            QStringLiteral("part content.xml repeats a row or cell %1 times").arg(value.left(20)));
    }
    return count;
}

} // namespace

std::unique_ptr<GridWorksheet> readOds(ZipArchive& zip) {
    if (const auto manifest = zip.readIfPresent(QStringLiteral("META-INF/manifest.xml"));
        manifest && manifest->contains("encryption-data")) {
        throw ReadError(passwordProtectedText());
    }
    const QByteArray content = zip.read(kContent);
    QXmlStreamReader xml(content);
    RowCollector collector;
    long long rowNumber = 0;
    int tableDepth = 0; // nesting inside the first table; -1 once it is done
    int depth = 0;
    while (tableDepth >= 0 && !collector.done() &&
           nextToken(xml, kContent) != QXmlStreamReader::EndDocument) {
        if (xml.isEndElement()) {
            if (depth-- == tableDepth) {
                tableDepth = -1;
            }
            continue;
        }
        if (!xml.isStartElement()) {
            continue;
        }
        ++depth;
        const QStringView name = xml.name();
        if (tableDepth == 0) {
            if (name == QLatin1String("table")) {
                tableDepth = depth;
            }
            continue;
        }
        if (name != QLatin1String("table-row")) {
            continue;
        }
        const long long repeats = repeatCount(xml.attributes(), QLatin1String("number-rows-repeated"));
        Row row;
        long long column = 1;
        while (nextToken(xml, kContent) != QXmlStreamReader::EndElement) {
            if (xml.atEnd()) {
                throw ReadError(QStringLiteral("part content.xml ends too early"));
            }
            if (!xml.isStartElement()) {
                continue;
            }
            if (xml.name() != QLatin1String("table-cell") &&
                xml.name() != QLatin1String("covered-table-cell")) {
                xml.skipCurrentElement();
                continue;
            }
            const long long cellRepeats =
                repeatCount(xml.attributes(), QLatin1String("number-columns-repeated"));
            if (column > kReadColumns) {
                xml.skipCurrentElement();
                continue;
            }
            // What a merged cell covers reads empty, as in the spreadsheet's own view, whatever it still
            // holds.
            const bool covered = xml.name() == QLatin1String("covered-table-cell");
            if (covered) {
                xml.skipCurrentElement();
            }
            const Cell cell = covered ? Cell{} : typedCell(xml);
            for (long long k = 0; k < cellRepeats && column <= kReadColumns; ++k, ++column) {
                row[static_cast<size_t>(column - 1)] = cell;
            }
        }
        --depth; // the row's end element was taken above
        if (!row[1].text.isEmpty() && rowNumber + repeats > kMaxSheetRows) {
            throw ReadError(
                QStringLiteral("has more than %1 rows").arg(kMaxSheetRows)); // before copying them
        }
        for (long long k = 0; k < repeats && !collector.done(); ++k) {
            if (Row* target = collector.beginRow(++rowNumber)) {
                *target = row;
            }
            collector.endRow();
        }
    }
    return std::make_unique<GridWorksheet>(collector.take());
}

} // namespace spreadsheet
