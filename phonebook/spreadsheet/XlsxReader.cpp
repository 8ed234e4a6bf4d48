// Office Open XML workbooks (.xlsx), transitional and strict. Parts are found through the package
// relationships, so workbooks that keep them under other paths than xl/ read the same.

#include "CellText.h"
#include "Readers.h"
#include "Xml.h"
#include "ZipArchive.h"

#include <QDateTime>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace spreadsheet {
namespace {

struct Relationship {
    QString type;
    QString target; // resolved part name
};

QString directoryOf(const QString& part) {
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash + 1);
}

// A relationship target against the part that holds it: relative, or absolute from the package root.
QString resolveTarget(const QString& baseDirectory, QString target) {
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString full = target.startsWith(QLatin1Char('/')) ? target.mid(1) : baseDirectory + target;
    QStringList parts;
    for (const QString& piece : full.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece == QLatin1String("..")) {
            parts.isEmpty() ? void() : parts.removeLast();
        } else if (piece != QLatin1String(".")) {
            parts.append(piece);
        }
    }
    return parts.join(QLatin1Char('/'));
}

QString relationshipsPartOf(const QString& part) {
    const QString directory = directoryOf(part);
    return directory + QLatin1String("_rels/") + part.mid(directory.size()) + QLatin1String(".rels");
}

// Id -> relationship, in document order of ids.
QHash<QString, Relationship> readRelationships(const ZipArchive& zip, const QString& sourcePart) {
    QHash<QString, Relationship> relationships;
    const QString relsPart = relationshipsPartOf(sourcePart);
    const std::optional<QByteArray> data = zip.readIfPresent(relsPart);
    if (!data) {
        return relationships;
    }
    QXmlStreamReader xml(*data);
    while (nextToken(xml, relsPart) != QXmlStreamReader::EndDocument) {
        if (!xml.isStartElement()) {
            continue;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("Relationship") &&
            attribute(attributes, QLatin1String("TargetMode")) != QLatin1String("External")) {
            relationships.insert(attribute(attributes, QLatin1String("Id")).toString(),
                                 {attribute(attributes, QLatin1String("Type")).toString(),
                                  resolveTarget(directoryOf(sourcePart),
                                                attribute(attributes, QLatin1String("Target")).toString())});
        }
    }
    return relationships;
}

// Transitional and strict types differ in their namespace only.
bool hasType(const Relationship& relationship, QLatin1String lastSegment) {
    return relationship.type.endsWith(QLatin1Char('/') + lastSegment);
}

std::optional<QString> findByType(const QHash<QString, Relationship>& relationships, QLatin1String type) {
    for (const Relationship& r : relationships) {
        if (hasType(r, type)) {
            return r.target;
        }
    }
    return std::nullopt;
}

// Excel writes characters XML cannot carry as _xHHHH_.
QString unescapeText(const QString& text) {
    if (!text.contains(QLatin1String("_x"))) {
        return text;
    }
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('_') && i + 6 < text.size() && text.at(i + 1) == QLatin1Char('x') &&
            text.at(i + 6) == QLatin1Char('_')) {
            bool ok = false;
            const ushort code = QStringView(text).mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out.append(QChar(code));
                i += 6;
                continue;
            }
        }
        out.append(text.at(i));
    }
    return out;
}

// The text of a string item (<si> or <is>): plain <t>, or rich text runs; phonetic guides are left out.
QString readStringItem(QXmlStreamReader& xml, const QString& part) {
    QString text;
    int depth = 1;
    int phoneticDepth = 0;
    bool inText = false;
    while (depth > 0) {
        switch (nextToken(xml, part)) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (xml.name() == QLatin1String("rPh")) {
                phoneticDepth = depth;
            }
            inText = xml.name() == QLatin1String("t") && phoneticDepth == 0;
            break;
        case QXmlStreamReader::EndElement:
            if (depth == phoneticDepth) {
                phoneticDepth = 0;
            }
            --depth;
            inText = false;
            break;
        case QXmlStreamReader::Characters:
            if (inText) {
                text.append(xml.text());
            }
            break;
        case QXmlStreamReader::EndDocument:
            throw ReadError(QStringLiteral("part %1 ends too early").arg(part));
        default:
            break;
        }
    }
    return unescapeText(text);
}

struct Styles {
    std::vector<bool> xfIsDate;
};

Styles readStyles(const ZipArchive& zip, const std::optional<QString>& part) {
    Styles styles;
    if (!part) {
        return styles;
    }
    const std::optional<QByteArray> data = zip.readIfPresent(*part);
    if (!data) {
        return styles;
    }
    QHash<int, bool> customIsDate;
    bool inCellXfs = false;
    QXmlStreamReader xml(*data);
    while (nextToken(xml, *part) != QXmlStreamReader::EndDocument) {
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            const QXmlStreamAttributes attributes = xml.attributes();
            if (name == QLatin1String("numFmt")) {
                customIsDate.insert(
                    attribute(attributes, QLatin1String("numFmtId")).toInt(),
                    isDateFormatCode(attribute(attributes, QLatin1String("formatCode")).toString()));
            } else if (name == QLatin1String("cellXfs")) {
                inCellXfs = true;
            } else if (name == QLatin1String("xf") && inCellXfs) {
                const int id = attribute(attributes, QLatin1String("numFmtId")).toInt();
                styles.xfIsDate.push_back(customIsDate.contains(id) ? customIsDate.value(id)
                                                                    : isDateFormatId(id));
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs")) {
            inCellXfs = false;
        }
    }
    return styles;
}

// "BC12" -> 55; 0 when the reference has no column letters.
long long columnOfReference(QStringView reference) {
    long long column = 0;
    for (const QChar c : reference) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z') {
            break;
        }
        column = column * 26 + (u - u'A' + 1);
        if (column > 1'000'000) {
            return column; // far past the kept columns; stop before overflowing
        }
    }
    return column;
}

struct SharedStringUse {
    size_t row;
    size_t column;
    qsizetype index;
};

struct SheetContent {
    std::vector<Row> rows;
    std::vector<SharedStringUse> sharedStrings;
};

Cell numberCell(const QString& value, bool isDate, bool date1904, const QString& part) {
    bool ok = false;
    const double number = QStringView(value).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        throw ReadError(QStringLiteral("part %1 holds a number that is none: %2").arg(part, value.left(40)));
    }
    if (isDate) {
        if (std::optional<QString> date = dateFromSerial(number, date1904)) {
            return {CellKind::Date, *date};
        }
    }
    return {CellKind::Number, generalNumber(number)};
}

Cell isoDateCell(const QString& value, const QString& part) {
    const QDateTime dateTime = QDateTime::fromString(value.trimmed(), Qt::ISODateWithMs);
    if (dateTime.isValid()) {
        return {CellKind::Date, dateTimeText(dateTime.date(), dateTime.time())};
    }
    const QDate date = QDate::fromString(value.trimmed(), Qt::ISODate);
    if (date.isValid()) {
        return {CellKind::Date, dateText(date)};
    }
    const QTime time = QTime::fromString(value.trimmed(), Qt::ISODateWithMs);
    if (time.isValid()) {
        return {CellKind::Date, timeText(time)};
    }
    throw ReadError(QStringLiteral("part %1 holds a date that is none: %2").arg(part, value.left(40)));
}

SheetContent readSheet(const ZipArchive& zip, const QString& part, const Styles& styles, bool date1904) {
    const QByteArray data = zip.read(part);
    QXmlStreamReader xml(data);
    RowCollector collector;
    SheetContent content;
    long long rowNumber = 0;
    long long columnNumber = 0;
    bool inSheetData = false;

    while (!collector.done() && nextToken(xml, part) != QXmlStreamReader::EndDocument) {
        if (xml.isEndElement() && xml.name() == QLatin1String("sheetData")) {
            break;
        }
        if (!xml.isStartElement()) {
            continue;
        }
        const QStringView name = xml.name();
        const QXmlStreamAttributes attributes = xml.attributes();
        if (name == QLatin1String("sheetData")) {
            inSheetData = true;
        } else if (inSheetData && name == QLatin1String("row")) {
            const QStringView r = attribute(attributes, QLatin1String("r"));
            bool ok = true;
            rowNumber = r.isEmpty() ? rowNumber + 1 : r.toLongLong(&ok);
            if (!ok || rowNumber < 1) {
                throw ReadError(QStringLiteral("part %1 has a row numbered %2").arg(part, r.toString()));
            }
            columnNumber = 0;
            collector.beginRow(rowNumber);
        } else if (inSheetData && name == QLatin1String("c")) {
            const QStringView reference = attribute(attributes, QLatin1String("r"));
            const long long column = reference.isEmpty() ? columnNumber + 1 : columnOfReference(reference);
            if (column < 1) {
                throw ReadError(
                    QStringLiteral("part %1 has a cell named %2").arg(part, reference.toString()));
            }
            columnNumber = column;
            // The attribute list is a copy and keeps the view valid while the cell's content is read.
            const QStringView type = attribute(attributes, QLatin1String("t"));
            const int style = attribute(attributes, QLatin1String("s")).toInt();
            Cell* cell = collector.cell(column);
            if (!cell) {
                xml.skipCurrentElement();
                continue;
            }
            QString value;
            bool hasValue = false;
            QString inlineText;
            bool hasInline = false;
            while (nextToken(xml, part) != QXmlStreamReader::EndElement || xml.name() != QLatin1String("c")) {
                if (xml.isStartElement() && xml.name() == QLatin1String("v")) {
                    value = xml.readElementText();
                    hasValue = true;
                } else if (xml.isStartElement() && xml.name() == QLatin1String("is")) {
                    inlineText = readStringItem(xml, part);
                    hasInline = true;
                } else if (xml.isStartElement()) {
                    xml.skipCurrentElement();
                } else if (xml.atEnd()) {
                    throw ReadError(QStringLiteral("part %1 ends too early").arg(part));
                }
            }
            if (type == QLatin1String("inlineStr")) {
                if (hasInline && !inlineText.isEmpty()) {
                    *cell = {CellKind::Text, inlineText};
                }
                continue;
            }
            if (!hasValue || value.isEmpty()) {
                continue; // a formula without a cached value, or a styled blank
            }
            if (type.isEmpty() || type == QLatin1String("n")) {
                const bool isDate = style >= 0 && static_cast<size_t>(style) < styles.xfIsDate.size() &&
                                    styles.xfIsDate[static_cast<size_t>(style)];
                *cell = numberCell(value, isDate, date1904, part);
            } else if (type == QLatin1String("s")) {
                bool ok = false;
                const qsizetype index = QStringView(value).trimmed().toLongLong(&ok);
                if (!ok || index < 0) {
                    throw ReadError(
                        QStringLiteral("part %1 refers to shared string %2").arg(part, value.left(40)));
                }
                // Resolved after the sheet; the placeholder keeps the row from looking empty.
                *cell = {CellKind::Text, value};
                content.sharedStrings.push_back(
                    {static_cast<size_t>(rowNumber - 1), static_cast<size_t>(column - 1), index});
            } else if (type == QLatin1String("str")) {
                *cell = {CellKind::Text, unescapeText(value)};
            } else if (type == QLatin1String("b")) {
                *cell = {CellKind::Boolean, value.trimmed() == QLatin1String("0") ? QStringLiteral("False")
                                                                                  : QStringLiteral("True")};
            } else if (type == QLatin1String("e")) {
                *cell = {CellKind::Error, value};
            } else if (type == QLatin1String("d")) {
                *cell = isoDateCell(value, part);
            } else {
                throw ReadError(QStringLiteral("part %1 has a cell of unknown type %2")
                                    .arg(part, type.left(20).toString()));
            }
        }
    }
    content.rows = collector.take();
    return content;
}

// Reads only the shared strings the kept cells use, so a huge table costs no more than its unpacked part.
void resolveSharedStrings(const ZipArchive& zip, const std::optional<QString>& part, SheetContent& content) {
    if (content.sharedStrings.empty()) {
        return;
    }
    std::erase_if(content.sharedStrings,
                  [&](const SharedStringUse& use) { return use.row >= content.rows.size(); });
    qsizetype highest = -1;
    for (const SharedStringUse& use : content.sharedStrings) {
        highest = std::max(highest, use.index);
    }
    if (highest < 0) {
        return;
    }
    if (!part || !zip.contains(*part)) {
        throw ReadError(QStringLiteral("has no shared strings, yet its cells use them"));
    }

    // Keyed by the indexes in use only: an index the file makes up costs nothing before it is found missing.
    QHash<qsizetype, QString> strings;
    for (const SharedStringUse& use : content.sharedStrings) {
        strings.insert(use.index, QString());
    }
    const QByteArray data = zip.read(*part);
    QXmlStreamReader xml(data);
    qsizetype index = 0;
    while (index <= highest && nextToken(xml, *part) != QXmlStreamReader::EndDocument) {
        if (xml.isStartElement() && xml.name() == QLatin1String("si")) {
            QString text = readStringItem(xml, *part);
            if (const auto found = strings.find(index); found != strings.end()) {
                *found = std::move(text);
            }
            ++index;
        }
    }
    if (index <= highest) {
        throw ReadError(QStringLiteral("refers to shared string %1 of %2").arg(highest).arg(index));
    }
    for (const SharedStringUse& use : content.sharedStrings) {
        Cell& cell = content.rows[use.row][use.column];
        cell.text = strings.value(use.index);
        cell.kind = cell.text.isEmpty() ? CellKind::Empty : CellKind::Text;
    }
    truncateAtEmptyColumn2(content.rows);
}

} // namespace

std::unique_ptr<GridWorksheet> readXlsx(ZipArchive& zip) {
    if (zip.contains(QStringLiteral("EncryptedPackage"))) {
        throw ReadError(passwordProtectedText());
    }
    const auto packageRelationships = readRelationships(zip, QString());
    const QString workbookPart = findByType(packageRelationships, QLatin1String("officeDocument"))
                                     .value_or(QStringLiteral("xl/workbook.xml"));
    if (workbookPart.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive)) {
        throw ReadError(notSpreadsheetText()); // the binary workbook form (.xlsb)
    }
    const QByteArray workbook = zip.read(workbookPart);

    bool date1904 = false;
    QString firstSheetId;
    const auto relationships = readRelationships(zip, workbookPart);
    QXmlStreamReader xml(workbook);
    bool atRoot = true;
    while (nextToken(xml, workbookPart) != QXmlStreamReader::EndDocument) {
        if (!xml.isStartElement()) {
            continue;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (std::exchange(atRoot, false) && xml.name() != QLatin1String("workbook")) {
            throw ReadError(notSpreadsheetText()); // a text document or presentation in the same package form
        }
        if (xml.name() == QLatin1String("workbookPr")) {
            const QStringView value = attribute(attributes, QLatin1String("date1904"));
            date1904 = value == QLatin1String("1") || value == QLatin1String("true");
        } else if (xml.name() == QLatin1String("sheet") && firstSheetId.isEmpty()) {
            // The first worksheet in tab order; chart and dialog sheets are no worksheets.
            const QString id = attribute(attributes, QLatin1String("id")).toString();
            const auto found = relationships.constFind(id);
            if (found != relationships.constEnd() && hasType(*found, QLatin1String("worksheet"))) {
                firstSheetId = id;
            }
        }
    }
    if (firstSheetId.isEmpty()) {
        throw ReadError(QStringLiteral("has no worksheet"));
    }

    const Styles styles = readStyles(zip, findByType(relationships, QLatin1String("styles")));
    SheetContent content = readSheet(zip, relationships.value(firstSheetId).target, styles, date1904);
    resolveSharedStrings(zip, findByType(relationships, QLatin1String("sharedStrings")), content);
    return std::make_unique<GridWorksheet>(std::move(content.rows));
}

} // namespace spreadsheet
