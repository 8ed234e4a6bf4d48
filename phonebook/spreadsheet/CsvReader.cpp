// CSV text, read a piece at a time and decoded field by field; fields past the fourth are passed over
// without being kept.

#include "CellText.h"
#include "Readers.h"
#include "SourceFile.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace spreadsheet {
namespace {

constexpr qint64 kPiece = qint64(256) * 1024;

enum class Encoding { Utf16LE, Utf16BE, Bytes };

struct CsvSettings {
    Encoding encoding = Encoding::Bytes;
    qint64 start = 0;        // past the byte order mark
    bool utf8Marked = false; // a UTF-8 byte order mark
    char separator = ',';
};

// Turkish locales write ";" as list separator; others "," or tab. The one seen most often outside quotes in
// the first lines (of the first 64 KiB) wins, ";" before "," before tab on a tie.
char detectSeparator(std::string_view text) {
    constexpr std::array<char, 3> kCandidates = {';', ',', '\t'};
    std::array<qsizetype, 3> counts{};
    bool inQuotes = false;
    int lines = 0;
    for (size_t i = 0; i < text.size() && lines < 20; ++i) {
        const char c = text[i];
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && (c == '\n' || c == '\r')) {
            ++lines;
        } else if (!inQuotes) {
            for (size_t k = 0; k < kCandidates.size(); ++k) {
                counts[k] += c == kCandidates[k] ? 1 : 0;
            }
        }
    }
    const auto best = static_cast<size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    return counts[best] > 0 ? kCandidates[best] : ',';
}

QStringDecoder utf16Decoder(Encoding encoding) {
    return QStringDecoder(encoding == Encoding::Utf16LE ? QStringConverter::Utf16LE
                                                        : QStringConverter::Utf16BE);
}

bool isAscii(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A line ends at CR LF, LF or CR. Programs that write line ends twice over leave CR CR LF or LF CR between
// lines: each is one line end too, not a line end and a blank line.
class CsvRows final : public RowSource {
public:
    // Counting (decode false), the rows come out blank or with column 1 "x" alone, which costs a fraction
    // of decoding their text.
    CsvRows(std::shared_ptr<const SourceFile> file, const CsvSettings& settings, bool decode = true)
        : file_(std::move(file)), settings_(settings), offset_(settings.start),
          textEncoding_(settings.encoding != Encoding::Bytes || settings.utf8Marked ? TextEncoding::Utf8
                                                                                    : TextEncoding::Unknown),
          decode_(decode) {
        if (settings.encoding != Encoding::Bytes) {
            decoder_ = utf16Decoder(settings.encoding);
        }
    }

    bool next(RowRun& run) override {
        const char separator = settings_.separator;
        for (;;) {
            if (at_ == end_ && !fill()) {
                return finish(run);
            }
            const char c = *at_;
            switch (std::exchange(lineEnd_, LineEnd::None)) {
            case LineEnd::None:
                break;
            case LineEnd::CarriageReturn:
                if (c == '\n' || c == '\r') {
                    lineEnd_ = c == '\r' ? LineEnd::TwoCarriageReturns : LineEnd::None;
                    ++at_;
                    continue;
                }
                break;
            case LineEnd::TwoCarriageReturns:
                if (c == '\n') {
                    ++at_;
                    continue;
                }
                // The second one ended a blank line.
                lineEnd_ = LineEnd::CarriageReturn;
                endRow(run);
                return true;
            case LineEnd::LineFeed:
                if (c == '\r') {
                    lineEnd_ = LineEnd::LineFeedCarriageReturn;
                    ++at_;
                    continue;
                }
                break;
            case LineEnd::LineFeedCarriageReturn:
                if (c == '\n') {
                    // LF, then CR LF: a blank line.
                    ++at_;
                    endRow(run);
                    return true;
                }
                break;
            }
            rowStarted_ = true;
            if (quoted_) {
                if (quoteSeen_) {
                    quoteSeen_ = false;
                    if (c == '"') {
                        append(at_, at_ + 1); // "" inside quotes is one quote
                        ++at_;
                        continue;
                    }
                    quoted_ = false; // the closing quote; c is read below
                } else {
                    const char* stop = std::find(at_, end_, '"');
                    append(at_, stop);
                    at_ = stop;
                    if (at_ != end_) {
                        quoteSeen_ = true;
                        ++at_;
                    }
                    continue;
                }
            }
            if (c == '"' && !fieldStarted_) {
                quoted_ = true;
                fieldStarted_ = true;
                ++at_;
            } else if (c == separator) {
                endField();
                ++at_;
            } else if (c == '\r' || c == '\n') {
                lineEnd_ = c == '\r' ? LineEnd::CarriageReturn : LineEnd::LineFeed;
                ++at_;
                endRow(run);
                return true;
            } else {
                const char* stop = at_ + 1;
                while (stop != end_ && *stop != separator && *stop != '\r' && *stop != '\n') {
                    ++stop;
                }
                append(at_, stop);
                fieldStarted_ = true;
                at_ = stop;
            }
        }
    }

private:
    // The text's encoding, for byte input without a byte order mark: settled by the first kept field that
    // is not plain ASCII (UTF-8 when it is valid UTF-8, else code page 1254).
    enum class TextEncoding { Unknown, Utf8, CodePage1254 };
    // The line end just read, which the next characters may belong to.
    enum class LineEnd { None, CarriageReturn, TwoCarriageReturns, LineFeed, LineFeedCarriageReturn };

    bool fill() {
        if (finished_) {
            return false;
        }
        const qint64 got = file_->read(offset_, piece_.get(), kPiece);
        offset_ += got;
        if (offset_ > kMaxTextBytes) {
            throw ReadError(QStringLiteral("%1 MiB'tan büyük").arg(kMaxTextBytes >> 20));
        }
        finished_ = got < kPiece;
        at_ = piece_.get();
        end_ = at_ + got;
        if (settings_.encoding != Encoding::Bytes) {
            // Decoded to UTF-8, the same parsing serves: separators, quotes and line ends are ASCII.
            const QString text = decoder_.decode(QByteArrayView(piece_.get(), got));
            if (decoder_.hasError()) {
                throw ReadError(QStringLiteral("bozuk UTF-16 metin içeriyor"));
            }
            decoded_ = text.toUtf8();
            at_ = decoded_.constData();
            end_ = at_ + decoded_.size();
        }
        return at_ != end_;
    }

    void append(const char* from, const char* to) {
        if (column_ > kReadColumns) {
            return;
        }
        if (!decode_) {
            counted_ = counted_ || from != to;
            return;
        }
        if (field_.size() + static_cast<size_t>(to - from) > static_cast<size_t>(kMaxCellBytes)) {
            cellTooLong(row_, column_);
        }
        field_.append(from, to);
    }

    void endField() {
        if (!decode_) {
            rowCounted_ = std::exchange(counted_, false) || rowCounted_;
        } else if (column_ <= kReadColumns && !field_.empty()) {
            current_[static_cast<size_t>(column_ - 1)] = {CellKind::Text,
                                                          checkedCellText(decode(), row_, column_)};
        }
        field_.clear();
        fieldStarted_ = false;
        ++column_;
    }

    QString decode() {
        if (textEncoding_ == TextEncoding::Unknown && !isAscii(field_)) {
            textEncoding_ =
                QByteArrayView(field_).isValidUtf8() ? TextEncoding::Utf8 : TextEncoding::CodePage1254;
        }
        switch (textEncoding_) {
        case TextEncoding::Unknown:
            return QString::fromLatin1(field_.data(), static_cast<qsizetype>(field_.size()));
        case TextEncoding::Utf8:
            // A field that is no UTF-8 in a UTF-8 file was typed by a program of the Turkish code page.
            if (QByteArrayView(field_).isValidUtf8()) {
                return QString::fromUtf8(field_.data(), static_cast<qsizetype>(field_.size()));
            }
            [[fallthrough]];
        case TextEncoding::CodePage1254:
            break;
        }
        return fromCodePage1254(QByteArray(field_.data(), static_cast<qsizetype>(field_.size())));
    }

    void endRow(RowRun& run) {
        endField();
        run.count = 1;
        if (decode_) {
            std::swap(run.cells, current_);
            for (Cell& cell : current_) {
                if (!cell.text.isNull()) {
                    cell = {};
                }
            }
        } else {
            run.cells[0] =
                std::exchange(rowCounted_, false) ? Cell{CellKind::Text, QStringLiteral("x")} : Cell{};
        }
        column_ = 1;
        ++row_;
        rowStarted_ = false;
    }

    // The end of the text: a last line without a line end is a row, an empty tail after the last line end
    // is none.
    bool finish(RowRun& run) {
        if (quoted_ && !quoteSeen_) {
            throw ReadError(QStringLiteral("tırnak içindeki bir alan kapanmadan bitiyor"));
        }
        if (!rowStarted_) {
            return false;
        }
        endRow(run);
        return true;
    }

    std::shared_ptr<const SourceFile> file_;
    CsvSettings settings_;
    qint64 offset_;
    QStringDecoder decoder_;
    TextEncoding textEncoding_;
    std::unique_ptr<char[]> piece_ = std::make_unique_for_overwrite<char[]>(kPiece);
    QByteArray decoded_; // the piece as UTF-8, for UTF-16 text
    const char* at_ = nullptr;
    const char* end_ = nullptr;
    bool finished_ = false;
    Row current_;
    std::string field_;
    long long row_ = 1;
    long long column_ = 1;
    bool rowStarted_ = false;
    bool fieldStarted_ = false; // the field has any content, quoted or not
    bool quoted_ = false;       // inside a quoted part of the field
    bool quoteSeen_ = false;    // a quote inside quotes, which the next character explains
    LineEnd lineEnd_ = LineEnd::None;
    bool decode_;
    bool counted_ = false;    // counting: the field has a character in it
    bool rowCounted_ = false; // counting: a field of the row has
};

// A sheet whose rows with data go on past the limit is refused before any row is read, not cut short: the
// rows are counted first, which costs a fraction of reading them.
void refuseTooManyRows(const std::shared_ptr<const SourceFile>& file, const CsvSettings& settings) {
    CsvRows rows(file, settings, false);
    RowRun run;
    bool tooMany = false;
    try {
        for (long long row = 1; !tooMany && rows.next(run); ++row) {
            tooMany = row > kMaxSheetRows && !isBlank(run.cells);
        }
    } catch (const ReadError&) {
        return; // a damaged line is reported where it lies, after the rows before it
    }
    if (tooMany) {
        throw ReadError(QStringLiteral("%1 satırdan fazla").arg(kMaxSheetRows));
    }
}

} // namespace

RowSourceOpener readCsv(std::shared_ptr<const SourceFile> file) {
    // The first lines tell the separator.
    QByteArray head(qsizetype(64) * 1024, Qt::Uninitialized);
    head.truncate(file->read(0, head.data(), head.size()));
    CsvSettings settings;
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        settings.encoding = head.startsWith("\xFF\xFE") ? Encoding::Utf16LE : Encoding::Utf16BE;
        settings.start = 2;
        QStringDecoder decoder = utf16Decoder(settings.encoding);
        head = QString(decoder.decode(QByteArrayView(head).sliced(2))).toUtf8();
    } else if (head.left(4096).contains('\0')) {
        throw ReadError(notSpreadsheetText());
    } else if (head.startsWith("\xEF\xBB\xBF")) {
        settings.utf8Marked = true;
        settings.start = 3;
        head.remove(0, 3);
    }
    settings.separator =
        detectSeparator(std::string_view(head.constData(), static_cast<size_t>(head.size())));
    refuseTooManyRows(file, settings);
    return [file = std::move(file), settings] { return std::make_unique<CsvRows>(file, settings); };
}

} // namespace spreadsheet
