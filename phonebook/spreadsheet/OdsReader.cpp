// OpenDocument spreadsheets (.ods): the first table of content.xml.

#include "CellText.h"
#include "Readers.h"
#include "Xml.h"
#include "ZipArchive.h"

#include <QDateTime>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <string>

namespace spreadsheet {
namespace {

const QString kContent = QStringLiteral("content.xml");

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

// A cell whose value its attributes hold; nothing when its text is its value.
std::optional<Cell> typedCell(XmlAttributes attributes, long long row, long long column) {
    const std::string_view type = attribute(attributes, "value-type");
    if (type == "float" || type == "percentage" || type == "currency") {
        bool ok = false;
        const double value = toQString(attribute(attributes, "value")).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            throw ReadError(QStringLiteral("content.xml bölümünde geçersiz bir sayı var"));
        }
        return Cell{CellKind::Number, generalNumber(value)};
    }
    if (type == "date") {
        const QString value = toQString(attribute(attributes, "date-value")).trimmed();
        const QDateTime dateTime = QDateTime::fromString(value, Qt::ISODateWithMs);
        if (dateTime.isValid()) {
            const QTime time = dateTime.time();
            return Cell{CellKind::Date,
                        dateTimeText(dateTime.date(), QTime(time.hour(), time.minute(), time.second()))};
        }
        const QDate date = QDate::fromString(value, Qt::ISODate);
        if (!date.isValid()) {
            throw ReadError(
                QStringLiteral("content.xml bölümünde geçersiz bir tarih var: %1").arg(value.left(40)));
        }
        return Cell{CellKind::Date, dateText(date)};
    }
    if (type == "time") {
        const QString value = toQString(attribute(attributes, "time-value")).trimmed();
        const std::optional<double> seconds = durationSeconds(value);
        if (!seconds) {
            throw ReadError(
                QStringLiteral("content.xml bölümünde geçersiz bir saat var: %1").arg(value.left(40)));
        }
        const auto whole = std::llround(*seconds);
        if (whole >= 0 && whole < 86400) {
            return Cell{CellKind::Date, timeText(QTime(0, 0).addSecs(static_cast<int>(whole)))};
        }
        // Elapsed time past a day, as [h]:mm:ss shows it.
        const long long magnitude = std::llabs(whole);
        return Cell{CellKind::Date, QStringLiteral("%1%2:%3:%4")
                                        .arg(whole < 0 ? QStringLiteral("-") : QString())
                                        .arg(magnitude / 3600)
                                        .arg(magnitude / 60 % 60, 2, 10, QLatin1Char('0'))
                                        .arg(magnitude % 60, 2, 10, QLatin1Char('0'))};
    }
    if (type == "boolean") {
        const QString value = toQString(attribute(attributes, "boolean-value")).trimmed();
        const bool truth = value == QLatin1String("true") || value == QLatin1String("1");
        return Cell{CellKind::Boolean, truth ? QStringLiteral("True") : QStringLiteral("False")};
    }
    const std::string_view stringValue = attribute(attributes, "string-value");
    if (type == "string" && !stringValue.empty()) {
        return Cell{CellKind::Text, checkedCellText(toQString(stringValue), row, column)};
    }
    return std::nullopt;
}

long long repeatCount(XmlAttributes attributes, std::string_view name) {
    const std::string_view value = attribute(attributes, name);
    if (value.empty()) {
        return 1;
    }
    long long count = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (error != std::errc() || end != value.data() + value.size() || count < 1) {
        throw ReadError(QStringLiteral("content.xml bölümü bir satırı ya da hücreyi %1 kez yineliyor")
                            .arg(toQString(value.substr(0, 20))));
    }
    return count;
}

// The rows of the first table, each with its repeat count. A cell's text is its paragraphs, one line each;
// comments attached to the cell are not its text; what a merged cell covers reads empty, as in the
// spreadsheet's own view, whatever it still holds. A row with data repeated costs the archive's budget as if
// its repeats had been inflated (blank rows, which end every sheet in their thousands, cost nothing), so
// that a few bytes cannot stand for a million contacts.
class ContentHandler final : public XmlHandler {
public:
    explicit ContentHandler(const ZipArchive& zip) : zip_(zip) {}

    bool done() const { return done_; }
    FrontQueue<RowRun>& rows() { return rows_; }
    // The row and column being read, for a fault.
    std::pair<long long, long long> where() const {
        if (tableDepth_ == 0) {
            return {0, 0};
        }
        return {row_ + 1, rowDepth_ > 0 ? column_ : 0};
    }

    void startElement(std::string_view name, XmlAttributes attributes) override {
        if (done_) {
            return;
        }
        ++depth_;
        if (skipFrom_ > 0) {
            return;
        }
        if (tableDepth_ == 0) {
            if (name == "table") {
                tableDepth_ = depth_;
            }
        } else if (rowDepth_ == 0) {
            if (name == "table-row") {
                rowDepth_ = depth_;
                rowStart_ = offset();
                clear(current_.cells);
                current_.count = repeatCount(attributes, "number-rows-repeated");
                column_ = 1;
            }
        } else if (cellDepth_ == 0) {
            if (name == "table-cell" || name == "covered-table-cell") {
                beginCell(name == "covered-table-cell", attributes);
            } else {
                skipFrom_ = depth_;
            }
        } else if (collect_) {
            cellContent(name, attributes);
        }
    }

    void endElement(std::string_view) override {
        if (done_) {
            return;
        }
        const int depth = depth_--;
        if (skipFrom_ > 0) {
            skipFrom_ = depth == skipFrom_ ? 0 : skipFrom_;
            return;
        }
        if (depth == paragraphDepth_) {
            paragraphDepth_ = 0;
        }
        if (depth == cellDepth_) {
            endCell();
        } else if (depth == rowDepth_) {
            rowDepth_ = 0;
            const bool blank = isBlank(current_.cells);
            if (current_.count > 1 && !blank) {
                zip_.charge((current_.count - 1) * std::max<qint64>(offset() - rowStart_, 1));
            }
            row_ += current_.count;
            if (blank && !rows_.empty() && isBlank(rows_.back().cells)) {
                rows_.back().count += current_.count;
            } else {
                rows_.push_back(std::move(current_));
            }
        } else if (depth == tableDepth_) {
            done_ = true;
        }
    }

    void characters(std::string_view text) override {
        if (paragraphDepth_ > 0 && skipFrom_ == 0) {
            append(text);
        }
    }

private:
    void beginCell(bool covered, XmlAttributes attributes) {
        cellDepth_ = depth_;
        cellRepeats_ = repeatCount(attributes, "number-columns-repeated");
        collect_ = false;
        cell_ = {};
        if (covered || column_ > kReadColumns) {
            return;
        }
        if (std::optional<Cell> typed = typedCell(attributes, row_ + 1, column_)) {
            cell_ = std::move(*typed);
            return;
        }
        collect_ = true;
        text_.clear();
        paragraphs_ = 0;
        // A formula that failed has no value type; its text is the error ("#DIV/0!", "Err:502").
        failedFormula_ =
            attribute(attributes, "value-type").empty() && !attribute(attributes, "formula").empty();
    }

    void cellContent(std::string_view name, XmlAttributes attributes) {
        if (name == "annotation") {
            skipFrom_ = depth_;
        } else if (paragraphDepth_ == 0 && (name == "p" || name == "h")) {
            if (paragraphs_++ > 0) {
                append("\n");
            }
            paragraphDepth_ = depth_;
        } else if (paragraphDepth_ > 0 && name == "s") {
            const std::string_view count = attribute(attributes, "c");
            long long spaces = 1;
            if (!count.empty()) {
                spaces = 0;
                std::from_chars(count.data(), count.data() + count.size(), spaces);
            }
            append(std::string(static_cast<size_t>(std::clamp(spaces, 0LL, 1000LL)), ' '));
        } else if (paragraphDepth_ > 0 && name == "tab") {
            append("\t");
        } else if (paragraphDepth_ > 0 && name == "line-break") {
            append("\n");
        }
    }

    void append(std::string_view text) {
        if (text_.size() + text.size() > static_cast<size_t>(kMaxCellBytes)) {
            cellTooLong(row_ + 1, column_);
        }
        text_.append(text);
    }

    void endCell() {
        cellDepth_ = 0;
        paragraphDepth_ = 0;
        if (collect_) {
            collect_ = false;
            const QString text = checkedCellText(QString::fromStdString(text_), row_ + 1, column_);
            if (!text.isEmpty()) {
                cell_ = {failedFormula_ ? CellKind::Error : CellKind::Text, text};
            }
        }
        for (long long k = 0; k < cellRepeats_ && column_ <= kReadColumns; ++k, ++column_) {
            current_.cells[static_cast<size_t>(column_ - 1)] = cell_;
        }
    }

    const ZipArchive& zip_;
    FrontQueue<RowRun> rows_;
    RowRun current_;
    qint64 rowStart_ = 0; // where the open row's element starts in the part
    long long row_ = 0;   // rows ended
    long long column_ = 1;
    long long cellRepeats_ = 1;
    Cell cell_;
    std::string text_;
    int paragraphs_ = 0;
    int depth_ = 0;
    int tableDepth_ = 0; // depths of the open elements of interest, 0 when none is open
    int rowDepth_ = 0;
    int cellDepth_ = 0;
    int paragraphDepth_ = 0;
    int skipFrom_ = 0; // depth of an element whose content is left out
    bool collect_ = false;
    bool failedFormula_ = false;
    bool done_ = false;
};

bool isEncrypted(const ZipArchive& zip) {
    struct Manifest final : XmlHandler {
        bool encrypted = false;
        void startElement(std::string_view name, XmlAttributes) override {
            encrypted = encrypted || name == "encryption-data";
        }
    };
    const QString part = QStringLiteral("META-INF/manifest.xml");
    Manifest manifest;
    if (zip.contains(part)) {
        XmlPart(zip, part, manifest).parseAll();
    }
    return manifest.encrypted;
}

} // namespace

RowSourceOpener readOds(std::shared_ptr<const ZipArchive> zip) {
    if (isEncrypted(*zip)) {
        throw ReadError(passwordProtectedText());
    }
    if (!zip->contains(kContent)) {
        throw ReadError(QStringLiteral("%1 bölümü eksik").arg(kContent));
    }
    return [zip = std::move(zip)] {
        return std::make_unique<XmlRows<ContentHandler>>(zip, *zip, kContent, *zip);
    };
}

} // namespace spreadsheet
