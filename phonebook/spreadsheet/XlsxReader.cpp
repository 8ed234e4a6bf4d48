// Office Open XML workbooks (.xlsx), transitional and strict. Parts are found through the package
// relationships, so workbooks that keep them under other paths than xl/ read the same.

#include "CellText.h"
#include "Readers.h"
#include "SharedStrings.h"
#include "Xml.h"
#include "ZipArchive.h"

#include <QDateTime>
#include <QHash>
#include <charconv>
#include <cmath>
#include <string>
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

// Transitional and strict types differ in their namespace only.
bool hasType(QStringView type, QLatin1String lastSegment) {
    return type.endsWith(QLatin1Char('/') + lastSegment);
}

// The relationships the reader follows: the package's office document, and a workbook's worksheets,
// styles and shared strings. Others (images, links, printer settings, ...) are passed over unkept.
bool isFollowed(QStringView type) {
    for (const QLatin1String kind : {QLatin1String("officeDocument"), QLatin1String("worksheet"),
                                     QLatin1String("styles"), QLatin1String("sharedStrings")}) {
        if (hasType(type, kind)) {
            return true;
        }
    }
    return false;
}

// What the followed relationships of one part may keep, ids and targets, before the part is refused: a
// workbook of hundreds of sheets takes a few tens of KiB.
constexpr qsizetype kMaxRelationshipText = qsizetype(1) << 20;

// Id -> relationship, of the followed kinds only.
QHash<QString, Relationship> readRelationships(const ZipArchive& zip, const QString& sourcePart) {
    struct Handler final : XmlHandler {
        QString base;
        QString part;
        QHash<QString, Relationship> relationships;
        qsizetype kept = 0;
        void startElement(std::string_view name, XmlAttributes attributes) override {
            if (name != "Relationship" || attribute(attributes, "TargetMode") == "External") {
                return;
            }
            const QString type = toQString(attribute(attributes, "Type"));
            if (!isFollowed(type)) {
                return;
            }
            Relationship relationship{type, resolveTarget(base, toQString(attribute(attributes, "Target")))};
            const QString id = toQString(attribute(attributes, "Id"));
            kept += id.size() + relationship.type.size() + relationship.target.size();
            if (kept > kMaxRelationshipText) {
                throw ReadError(QStringLiteral("%1 bölümü çok fazla ilişki sayıyor").arg(part));
            }
            relationships.insert(id, relationship);
        }
    };
    Handler handler;
    handler.base = directoryOf(sourcePart);
    handler.part = relationshipsPartOf(sourcePart);
    if (zip.contains(handler.part)) {
        XmlPart(zip, handler.part, handler).parseAll();
    }
    return handler.relationships;
}

bool hasType(const Relationship& relationship, QLatin1String lastSegment) {
    return hasType(QStringView(relationship.type), lastSegment);
}

std::optional<QString> findByType(const QHash<QString, Relationship>& relationships, QLatin1String type) {
    for (const Relationship& r : relationships) {
        if (hasType(r, type)) {
            return r.target;
        }
    }
    return std::nullopt;
}

// A number's text without the white space XML allows around it, nor a leading "+".
std::string_view numberText(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    return text;
}

std::optional<long long> parseInteger(std::string_view text) {
    text = numberText(text);
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

struct Styles {
    std::vector<bool> xfIsDate;
    bool isDate(int style) const {
        return style >= 0 && static_cast<size_t>(style) < xfIsDate.size() &&
               xfIsDate[static_cast<size_t>(style)];
    }
};

// Number formats and cell formats past these counts are more than any spreadsheet program makes (Excel
// stops at some 64,000 cell formats); they are passed over, so that a made-up styles part costs no memory.
constexpr long long kMaxFormatId = 65535;
constexpr size_t kMaxCellFormats = 65536;

Styles readStyles(const ZipArchive& zip, const std::optional<QString>& part) {
    struct Handler final : XmlHandler {
        Styles styles;
        QHash<int, bool> customIsDate;
        bool inCellXfs = false;
        void startElement(std::string_view name, XmlAttributes attributes) override {
            if (name == "numFmt") {
                const long long id = parseInteger(attribute(attributes, "numFmtId")).value_or(-1);
                if (id >= 0 && id <= kMaxFormatId) {
                    customIsDate.insert(static_cast<int>(id),
                                        isDateFormatCode(toQString(attribute(attributes, "formatCode"))));
                }
            } else if (name == "cellXfs") {
                inCellXfs = true;
            } else if (name == "xf" && inCellXfs && styles.xfIsDate.size() < kMaxCellFormats) {
                const long long number = parseInteger(attribute(attributes, "numFmtId")).value_or(0);
                const int id = number >= 0 && number <= kMaxFormatId ? static_cast<int>(number) : 0;
                styles.xfIsDate.push_back(customIsDate.contains(id) ? customIsDate.value(id)
                                                                    : isDateFormatId(id));
            }
        }
        void endElement(std::string_view name) override {
            if (name == "cellXfs") {
                inCellXfs = false;
            }
        }
    };
    Handler handler;
    if (part && zip.contains(*part)) {
        XmlPart(zip, *part, handler).parseAll();
    }
    return std::move(handler.styles);
}

// "BC12" -> 55; 0 when the reference has no column letters.
long long columnOfReference(std::string_view reference) {
    long long column = 0;
    for (const char c : reference) {
        const char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (u < 'A' || u > 'Z') {
            break;
        }
        column = column * 26 + (u - 'A' + 1);
        if (column > 1'000'000) {
            return column; // far past the kept columns; stop before overflowing
        }
    }
    return column;
}

QString shortText(const std::string& value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(std::min<size_t>(value.size(), 40)));
}

Cell numberCell(const std::string& value, bool isDate, bool date1904, const QString& part) {
    const std::string_view text = numberText(value);
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(number)) {
        throw ReadError(QStringLiteral("%1 bölümünde geçersiz bir sayı var: %2").arg(part, shortText(value)));
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
    throw ReadError(QStringLiteral("%1 bölümünde geçersiz bir tarih var: %2").arg(part, value.left(40)));
}

struct SheetSettings {
    QString part;
    Styles styles;
    bool date1904 = false;
};

// <sheetData>: rows in order, cells by reference, values in <v> or inline in <is>; rows the sheet skips
// are blank. Read ahead (into), it only gathers the shared string items that the kept cells use; read for
// the rows, it resolves them (strings, which is null when the workbook has no table).
class SheetHandler final : public XmlHandler {
public:
    SheetHandler(const SheetSettings& settings, const SharedStrings* strings, SharedStringSet* into)
        : settings_(settings), strings_(strings), into_(into) {}

    bool done() const { return done_; }
    FrontQueue<RowRun>& rows() { return rows_; }
    // The row and column being read, for a fault; the column is the cell's, kept or not.
    std::pair<long long, long long> where() const {
        if (!inSheetData_) {
            return {0, 0};
        }
        return inRow_ ? std::pair{row_, lastColumn_} : std::pair{row_ + 1, 0LL};
    }

    void startElement(std::string_view name, XmlAttributes attributes) override {
        if (done_) {
            return;
        }
        if (name == "c") {
            beginCell(attributes);
        } else if (name == "v") {
            if (column_ > 0) {
                inValue_ = true;
                hasValue_ = true;
                value_.clear();
            }
        } else if (name == "row") {
            if (inSheetData_) {
                beginRow(attribute(attributes, "r"));
            }
        } else if (name == "is") {
            if (column_ > 0) {
                inInline_ = true;
                hasInline_ = true;
            }
        } else if (name == "t") {
            inText_ = inInline_ && phonetic_ == 0;
        } else if (name == "rPh") {
            phonetic_ += inInline_ ? 1 : 0;
        } else if (name == "sheetData") {
            inSheetData_ = true;
        }
    }

    void endElement(std::string_view name) override {
        if (done_) {
            return;
        }
        if (name == "v") {
            inValue_ = false;
        } else if (name == "c") {
            endCell();
        } else if (name == "row") {
            endRow();
        } else if (name == "t") {
            inText_ = false;
        } else if (name == "is") {
            inInline_ = false;
        } else if (name == "rPh") {
            phonetic_ -= phonetic_ > 0 ? 1 : 0;
        } else if (name == "sheetData") {
            done_ = true;
        }
    }

    void characters(std::string_view text) override {
        std::string* target = inValue_ ? &value_ : inText_ ? &inline_ : nullptr;
        if (!target) {
            return;
        }
        if (target->size() + text.size() > static_cast<size_t>(kMaxCellBytes)) {
            cellTooLong(row_, column_);
        }
        target->append(text);
    }

private:
    const QString& part() const { return settings_.part; }

    void beginRow(std::string_view reference) {
        long long number = row_ + 1;
        if (!reference.empty()) {
            const std::optional<long long> parsed = parseInteger(reference);
            if (!parsed || *parsed < 1) {
                throw ReadError(QStringLiteral("%1 bölümünde geçersiz bir satır numarası var: %2")
                                    .arg(part(), toQString(reference.substr(0, 40))));
            }
            number = *parsed;
        }
        if (number <= row_) {
            throw ReadError(QStringLiteral("satırlar sırasız: %2 numaralı satırdan sonra %1 geliyor")
                                .arg(number)
                                .arg(row_),
                            number);
        }
        if (number > row_ + 1 && !into_) {
            rows_.push_back({Row{}, number - row_ - 1}); // the rows skipped are blank
        }
        row_ = number;
        inRow_ = true;
        lastColumn_ = 0;
        clear(current_.cells);
        current_.count = 1;
    }

    void endRow() {
        if (!inRow_) {
            return;
        }
        inRow_ = false;
        if (into_) {
            return;
        }
        // Blank rows, as a sheet formatted far down holds in their thousands, go as one run.
        if (isBlank(current_.cells) && !rows_.empty() && isBlank(rows_.back().cells)) {
            ++rows_.back().count;
            return;
        }
        rows_.push_back(std::move(current_));
    }

    void beginCell(XmlAttributes attributes) {
        std::string_view reference;
        std::string_view type;
        std::string_view style;
        for (const char** a = attributes; *a; a += 2) {
            const std::string_view name = localName(*a);
            if (name == "r") {
                reference = a[1];
            } else if (name == "t") {
                type = a[1];
            } else if (name == "s") {
                style = a[1];
            }
        }
        const long long column = reference.empty() ? lastColumn_ + 1 : columnOfReference(reference);
        if (column < 1) {
            throw ReadError(QStringLiteral("%1 bölümünde geçersiz bir hücre adı var: %2")
                                .arg(part(), toQString(reference.substr(0, 40))));
        }
        lastColumn_ = column;
        column_ = inRow_ && column <= kReadColumns ? column : 0;
        if (column_ == 0) {
            return;
        }
        type_.assign(type);
        style_ = static_cast<int>(parseInteger(style).value_or(0));
        value_.clear();
        inline_.clear();
        hasValue_ = false;
        hasInline_ = false;
    }

    void endCell() {
        const long long column = std::exchange(column_, 0);
        inValue_ = false;
        inInline_ = false;
        inText_ = false;
        if (column == 0) {
            return;
        }
        if (into_) {
            gatherIndex();
            return;
        }
        Cell& cell = current_.cells[static_cast<size_t>(column - 1)];
        if (type_ == "inlineStr") {
            if (hasInline_ && !inline_.empty()) {
                cell = {CellKind::Text,
                        checkedCellText(unescapeXlsxText(QString::fromStdString(inline_)), row_, column)};
            }
            return;
        }
        if (!hasValue_ || value_.empty()) {
            return; // a formula without a cached value, or a styled blank
        }
        if (type_.empty() || type_ == "n") {
            cell = numberCell(value_, settings_.styles.isDate(style_), settings_.date1904, part());
        } else if (type_ == "s") {
            if (!strings_) {
                throw ReadError(QStringLiteral("ortak metin tablosu yok, ama hücreleri ona başvuruyor"));
            }
            const QString text = strings_->text(sharedIndex(), row_, column);
            cell = {text.isEmpty() ? CellKind::Empty : CellKind::Text, text};
        } else if (type_ == "str") {
            cell = {CellKind::Text,
                    checkedCellText(unescapeXlsxText(QString::fromStdString(value_)), row_, column)};
        } else if (type_ == "b") {
            const std::optional<long long> truth = parseInteger(value_);
            cell = {CellKind::Boolean, truth == 0 ? QStringLiteral("False") : QStringLiteral("True")};
        } else if (type_ == "e") {
            cell = {CellKind::Error, checkedCellText(QString::fromStdString(value_), row_, column)};
        } else if (type_ == "d") {
            cell = isoDateCell(QString::fromStdString(value_), part());
        } else {
            throw ReadError(QStringLiteral("%1 bölümünde bilinmeyen türde bir hücre var: %2")
                                .arg(part(), toQString(std::string_view(type_).substr(0, 20))));
        }
    }

    // Read ahead: which shared strings are in use.
    void gatherIndex() {
        if (type_ == "s" && hasValue_ && !value_.empty()) {
            into_->add(sharedIndex());
        }
    }

    quint64 sharedIndex() const {
        const std::optional<long long> index = parseInteger(value_);
        if (!index || *index < 0) {
            throw ReadError(QStringLiteral("%1 bölümü geçersiz bir ortak metne başvuruyor: %2")
                                .arg(part(), shortText(value_)));
        }
        return static_cast<quint64>(*index);
    }

    const SheetSettings& settings_;
    const SharedStrings* strings_;
    SharedStringSet* into_;
    FrontQueue<RowRun> rows_;
    RowRun current_;
    long long row_ = 0;        // the row read last
    long long lastColumn_ = 0; // of the cell read last
    long long column_ = 0;     // of the open cell when kept, else 0
    std::string type_;
    int style_ = 0;
    std::string value_;
    std::string inline_;
    int phonetic_ = 0;
    bool inSheetData_ = false;
    bool inRow_ = false;
    bool inValue_ = false;
    bool inInline_ = false;
    bool inText_ = false;
    bool hasValue_ = false;
    bool hasInline_ = false;
    bool done_ = false;
};

struct XlsxSheet {
    std::shared_ptr<const ZipArchive> zip;
    SheetSettings settings;
    std::shared_ptr<const SharedStrings> strings;
};

// The sheet read ahead for the shared strings its kept cells use.
SharedStringSet sharedStringsInUse(const ZipArchive& zip, const SheetSettings& settings) {
    SharedStringSet inUse;
    SheetHandler handler(settings, nullptr, &inUse);
    XmlPart xml(zip, settings.part, handler);
    while (!handler.done() && xml.parseMore()) {
    }
    inUse.seal();
    return inUse;
}

} // namespace

RowSourceOpener readXlsx(const std::shared_ptr<const ZipArchive>& zip) {
    if (zip->contains(QStringLiteral("EncryptedPackage"))) {
        throw ReadError(passwordProtectedText());
    }
    const auto packageRelationships = readRelationships(*zip, QString());
    const QString workbookPart = findByType(packageRelationships, QLatin1String("officeDocument"))
                                     .value_or(QStringLiteral("xl/workbook.xml"));
    if (workbookPart.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive)) {
        throw ReadError(notSpreadsheetText()); // the binary workbook form (.xlsb)
    }
    const auto relationships = readRelationships(*zip, workbookPart);

    struct Workbook final : XmlHandler {
        const QHash<QString, Relationship>* relationships = nullptr;
        bool date1904 = false;
        bool atRoot = true;
        QString firstSheetId;
        void startElement(std::string_view name, XmlAttributes attributes) override {
            if (std::exchange(atRoot, false) && name != "workbook") {
                throw ReadError(notSpreadsheetText()); // a text document or presentation in the same form
            }
            if (name == "workbookPr") {
                const std::string_view value = attribute(attributes, "date1904");
                date1904 = value == "1" || value == "true";
            } else if (name == "sheet" && firstSheetId.isEmpty()) {
                // The first worksheet in tab order; chart and dialog sheets are no worksheets.
                const QString id = toQString(attribute(attributes, "id"));
                const auto found = relationships->constFind(id);
                if (found != relationships->constEnd() && hasType(*found, QLatin1String("worksheet"))) {
                    firstSheetId = id;
                }
            }
        }
    };
    Workbook workbook;
    workbook.relationships = &relationships;
    XmlPart(*zip, workbookPart, workbook).parseAll();
    if (workbook.firstSheetId.isEmpty()) {
        throw ReadError(QStringLiteral("çalışma sayfası yok"));
    }

    auto sheet = std::make_shared<XlsxSheet>();
    sheet->zip = zip;
    sheet->settings = {relationships.value(workbook.firstSheetId).target,
                       readStyles(*zip, findByType(relationships, QLatin1String("styles"))),
                       workbook.date1904};
    const std::optional<QString> stringsPart = findByType(relationships, QLatin1String("sharedStrings"));
    if (stringsPart && zip->contains(*stringsPart)) {
        auto whole = std::make_shared<const SharedStrings>(*zip, *stringsPart);
        if (whole->complete()) {
            sheet->strings = std::move(whole);
        } else {
            whole.reset();
            sheet->strings = std::make_shared<SharedStrings>(*zip, *stringsPart,
                                                             sharedStringsInUse(*zip, sheet->settings));
        }
    }
    return [sheet = std::shared_ptr<const XlsxSheet>(std::move(sheet))] {
        return std::make_unique<XmlRows<SheetHandler>>(sheet, *sheet->zip, sheet->settings.part,
                                                       sheet->settings, sheet->strings.get(), nullptr);
    };
}

} // namespace spreadsheet
