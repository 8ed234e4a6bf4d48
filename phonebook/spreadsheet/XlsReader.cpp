// Binary Excel workbooks (.xls): BIFF2 to BIFF8, bare or inside a compound file. Only the records that
// carry the first worksheet's cell values, their number formats and the text encoding are read.

#include "CellText.h"
#include "CompoundFile.h"
#include "Readers.h"
#include "SharedStrings.h"

#include <QHash>
#include <QStringDecoder>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <stop_token>

namespace spreadsheet {
namespace {

[[noreturn]] void damaged() {
    throw ReadError(QStringLiteral("bozuk bir .xls dosyası"));
}

// Record ids; BIFF2 to BIFF4 give some records other ids than BIFF5 and BIFF8.
enum : quint16 {
    kBof2 = 0x0009,
    kBof3 = 0x0209,
    kBof4 = 0x0409,
    kBof8 = 0x0809,
    kEof = 0x000A,
    kFilePass = 0x002F,
    kCodePage = 0x0042,
    kDateMode = 0x0022,
    kFormat2 = 0x001E,
    kFormat = 0x041E,
    kXf2 = 0x0043,
    kXf3 = 0x0243,
    kXf4 = 0x0443,
    kXf = 0x00E0,
    kBoundSheet = 0x0085,
    kBundleSheet = 0x008E, // BIFF4 workbooks
    kSst = 0x00FC,
    kContinue = 0x003C,
    kInteger2 = 0x0002,
    kNumber2 = 0x0003,
    kLabel2 = 0x0004,
    kBoolErr2 = 0x0005,
    kFormula2 = 0x0006, // also BIFF5 and BIFF8
    kString2 = 0x0007,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kFormula3 = 0x0206,
    kString = 0x0207,
    kFormula4 = 0x0406,
    kRk = 0x027E,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kLabelSst = 0x00FD,
};

// Where a record lies in the stream: its header, and the end of the CONTINUE records after it. Its data is
// read where it lies, never gathered: a file of millions of empty CONTINUE records costs no memory.
struct Record {
    quint16 id = 0;
    qsizetype offset = 0; // of the header
    qsizetype end = 0;    // past its last CONTINUE record
};

quint16 u16At(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint16>(data.constData() + at);
}

// A record's data and its CONTINUE records' data, read across their boundaries; strings may run from one
// piece into the next.
class RecordReader {
public:
    RecordReader(const QByteArray& stream, const Record& record)
        : data_(stream), at_(record.offset), end_(record.offset), next_(record.offset), stop_(record.end) {
        nextPiece();
    }

    bool atEnd() {
        skipExhausted();
        return at_ >= end_;
    }
    // The bytes left, over every piece.
    qsizetype left() const {
        qsizetype bytes = end_ - at_;
        for (qsizetype piece = next_; piece < stop_; piece += 4 + u16At(data_, piece + 2)) {
            bytes += u16At(data_, piece + 2);
        }
        return bytes;
    }
    quint8 u8() {
        skipExhausted();
        if (at_ >= end_) {
            damaged();
        }
        return static_cast<quint8>(data_[at_++]);
    }
    quint16 u16() { return static_cast<quint16>(u8() | u8() << 8); }
    quint32 u32() { return static_cast<quint32>(u16() | static_cast<quint32>(u16()) << 16); }
    double f64() {
        const quint64 bits = static_cast<quint64>(u32()) | static_cast<quint64>(u32()) << 32;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    void skip(quint64 count) {
        for (; count > 0; --count) {
            u8();
        }
    }
    // BIFF8 unicode string: a new piece starts with a fresh flag byte for the characters left.
    QString unicodeString(quint32 length) {
        const quint8 flags = u8();
        bool wide = flags & 0x01;
        const quint16 runs = (flags & 0x08) ? u16() : 0;
        const quint32 phonetic = (flags & 0x04) ? u32() : 0;
        QString text;
        text.reserve(static_cast<qsizetype>(std::min<quint32>(length, 65535)));
        for (quint32 i = 0; i < length; ++i) {
            if (at_ >= end_ && next_ < stop_) {
                skipExhausted();
                wide = u8() & 0x01;
            }
            text.append(QChar(wide ? u16() : u8()));
        }
        skip(4ULL * runs + phonetic);
        return text;
    }
    QByteArray bytes(quint32 count) {
        QByteArray out;
        for (quint32 i = 0; i < count; ++i) {
            out.append(static_cast<char>(u8()));
        }
        return out;
    }

private:
    void nextPiece() {
        at_ = next_ + 4;
        end_ = at_ + u16At(data_, next_ + 2);
        next_ = end_;
    }
    void skipExhausted() {
        while (at_ >= end_ && next_ < stop_) {
            nextPiece();
        }
    }

    const QByteArray& data_;
    qsizetype at_;   // next byte of the current piece
    qsizetype end_;  // of the current piece
    qsizetype next_; // header of the next piece
    qsizetype stop_;
};

class Stream {
public:
    explicit Stream(const QByteArray& data, qsizetype at = 0) : data_(data), at_(at) {}
    bool next(Record& record) {
        if (at_ + 4 > data_.size()) {
            return false;
        }
        record.offset = at_;
        record.id = u16At(data_, at_);
        skipBody();
        while (at_ + 4 <= data_.size() && u16At(data_, at_) == kContinue) {
            skipBody();
        }
        record.end = at_;
        return true;
    }

private:
    void skipBody() {
        const quint16 length = u16At(data_, at_ + 2);
        if (at_ + 4 + length > data_.size()) {
            damaged();
        }
        at_ += 4 + length;
    }
    const QByteArray& data_;
    qsizetype at_;
};

QString errorText(quint8 code) {
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    default:
        return QStringLiteral("#GETTING_DATA");
    }
}

double rkValue(quint32 rk) {
    double value;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<qint32>(rk) >> 2);
    } else {
        const quint64 bits = static_cast<quint64>(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100.0 : value;
}

// The first worksheet's rows, and the fault that ended reading them early, if one did.
struct Grid {
    std::vector<Row> rows;
    std::optional<ReadError> fault;
};

class BiffReader {
public:
    BiffReader(const QByteArray& stream, std::stop_token stop) : stream_(stream), stop_(std::move(stop)) {}

    Grid read() {
        Stream records(stream_);
        Record bof;
        if (!records.next(bof)) {
            damaged();
        }
        const quint16 type = readBof(bof);
        qsizetype sheetOffset = -1;
        if (type == 0x0010) {
            sheetOffset = 0; // a lone worksheet (BIFF2 to BIFF4)
        } else {
            Record record;
            while (records.next(record) && record.id != kEof) {
                throwIfStopped();
                sheetOffset = globalsRecord(record, sheetOffset);
            }
            if (sheetOffset < 0) {
                throw ReadError(QStringLiteral("çalışma sayfası yok"));
            }
        }
        std::optional<ReadError> fault;
        try {
            readSheet(sheetOffset);
        } catch (const ReadError& error) {
            // Cells come row by row: the rows before the one being read are whole.
            rows_.resize(std::min<size_t>(rows_.size(), lastRow_));
            sstIndexes_.resize(rows_.size());
            fault = error;
            fault->locate(lastRow_ + 1, 0);
        }
        resolveSharedStrings();
        return {std::move(rows_), std::move(fault)};
    }

private:
    quint16 readBof(const Record& record) {
        RecordReader data(stream_, record);
        switch (record.id) {
        case kBof2:
            version_ = 2;
            break;
        case kBof3:
            version_ = 3;
            break;
        case kBof4:
            version_ = 4;
            break;
        case kBof8:
            version_ = data.u16() == 0x0500 ? 5 : 8;
            return data.u16();
        default:
            throw ReadError(notSpreadsheetText());
        }
        data.u16();
        return data.u16();
    }

    // Returns the offset of the first worksheet once known.
    qsizetype globalsRecord(const Record& record, qsizetype sheetOffset) {
        RecordReader data(stream_, record);
        switch (record.id) {
        case kFilePass:
            throw ReadError(passwordProtectedText());
        case kBoundSheet: {
            const quint32 offset = data.u32();
            data.u8(); // visibility: hidden sheets count too
            const quint8 kind = data.u8();
            if (sheetOffset < 0 && kind == 0) {
                return offset;
            }
            break;
        }
        case kBundleSheet:
            if (sheetOffset < 0) {
                return data.u32();
            }
            break;
        case kSst:
            sst_ = record;
            hasSst_ = true;
            break;
        default:
            formatRecord(record);
        }
        return sheetOffset;
    }

    // Records that may come in the globals or, for BIFF2 to BIFF4, in the worksheet itself.
    void formatRecord(const Record& record) {
        RecordReader data(stream_, record);
        switch (record.id) {
        case kCodePage:
            codePage_ = data.u16();
            break;
        case kDateMode:
            date1904_ = data.u16() == 1;
            break;
        case kFormat2:
        case kFormat: {
            int index = static_cast<int>(formats_.size());
            if (version_ >= 5) {
                index = data.u16();
            } else if (version_ == 4) {
                data.u16();
            }
            const QString code = version_ == 8 ? data.unicodeString(data.u16()) : byteString(data, 1);
            formats_.insert(index, isDateFormatCode(code));
            break;
        }
        case kXf2:
            data.skip(2);
            xfFormats_.push_back(data.u8() & 0x3F);
            break;
        case kXf3:
        case kXf4:
            data.u8();
            xfFormats_.push_back(data.u8());
            break;
        case kXf:
            data.u16();
            xfFormats_.push_back(data.u16());
            break;
        default:
            break;
        }
    }

    QString decode(const QByteArray& bytes) const {
        const int codePage = codePage_ == 32769 ? 1252 : codePage_ == 32768 ? 10000 : codePage_;
        if (codePage == 1254) {
            return fromCodePage1254(bytes);
        }
        const QByteArray name = codePage == 10000 ? QByteArrayLiteral("macintosh")
                                : codePage >= 1250 && codePage <= 1258
                                    ? "windows-" + QByteArray::number(codePage)
                                : codePage == 367 || codePage == 0 ? QByteArrayLiteral("windows-1252")
                                                                   : "cp" + QByteArray::number(codePage);
        QStringDecoder decoder(name.constData());
        if (!decoder.isValid()) {
            decoder = QStringDecoder("windows-1252");
        }
        return decoder.decode(bytes);
    }

    // BIFF2 to BIFF5 strings: a length of lengthBytes bytes, then bytes in the workbook's code page.
    QString byteString(RecordReader& data, int lengthBytes) const {
        const quint32 length = lengthBytes == 1 ? data.u8() : data.u16();
        return decode(data.bytes(length));
    }

    QString labelString(RecordReader& data) const {
        if (version_ == 8) {
            return data.unicodeString(data.u16());
        }
        return byteString(data, version_ == 2 ? 1 : 2);
    }

    bool isDate(int xf) const {
        if (xf < 0 || static_cast<size_t>(xf) >= xfFormats_.size()) {
            return false;
        }
        const int format = xfFormats_[static_cast<size_t>(xf)];
        return formats_.contains(format) ? formats_.value(format) : isDateFormatId(format);
    }

    Cell numberCell(double value, int xf, int biff2Format) const {
        if (!std::isfinite(value)) {
            damaged();
        }
        const bool date = biff2Format >= 0 ? (formats_.contains(biff2Format) ? formats_.value(biff2Format)
                                                                             : isDateFormatId(biff2Format))
                                           : isDate(xf);
        if (date) {
            if (std::optional<QString> text = dateFromSerial(value, date1904_)) {
                return {CellKind::Date, *text};
            }
        }
        return {CellKind::Number, generalNumber(value)};
    }

    // BIFF row numbers are 16 bits wide, so the rows kept stay few whatever the file claims. A cell
    // written again is no longer a shared string's, whatever it was before.
    Cell* cellAt(quint16 row, quint32 column) {
        lastRow_ = row;
        if (column >= static_cast<quint32>(kReadColumns)) {
            return nullptr;
        }
        if (row >= rows_.size()) {
            rows_.resize(row + 1);
            sstIndexes_.resize(row + 1, kNoSharedStrings);
        }
        sstIndexes_[row][column] = kNoSharedString;
        return &rows_[row][column];
    }

    // Row, column and format of a cell record: BIFF2 has three attribute bytes where later versions
    // have an XF index, and its second byte holds the number format.
    struct Address {
        quint16 row, column;
        int xf = -1, biff2Format = -1;
    };
    Address address(RecordReader& data) const {
        Address a{data.u16(), data.u16()};
        if (version_ == 2) {
            data.u8();
            a.biff2Format = data.u8() & 0x3F;
            data.u8();
        } else {
            a.xf = data.u16();
        }
        return a;
    }

    void readSheet(qsizetype offset) {
        if (offset < 0 || offset >= stream_.size()) {
            damaged();
        }
        Stream records(stream_, offset);
        Record record;
        if (offset > 0 && (!records.next(record) || (record.id != kBof8 && record.id != kBof4 &&
                                                     record.id != kBof3 && record.id != kBof2))) {
            damaged();
        }
        if (offset == 0) {
            records.next(record); // the BOF read already
        }
        // A formula whose string result follows in a STRING record, by its place: cells further on may move
        // the rows in memory before that record comes.
        std::optional<std::pair<quint16, quint16>> pendingFormula;
        for (quint64 read = 1;; ++read) {
            if (!records.next(record)) {
                damaged(); // cut short before the worksheet's end
            }
            if (record.id == kEof) {
                break;
            }
            if (read % 4096 == 0) {
                throwIfStopped();
            }
            RecordReader data(stream_, record);
            switch (record.id) {
            case kNumber:
            case kNumber2: {
                const Address a = address(data);
                if (Cell* cell = cellAt(a.row, a.column)) {
                    *cell = numberCell(data.f64(), a.xf, a.biff2Format);
                }
                break;
            }
            case kInteger2: {
                const Address a = address(data);
                if (Cell* cell = cellAt(a.row, a.column)) {
                    *cell = numberCell(data.u16(), a.xf, a.biff2Format);
                }
                break;
            }
            case kRk: {
                const Address a = address(data);
                if (Cell* cell = cellAt(a.row, a.column)) {
                    *cell = numberCell(rkValue(data.u32()), a.xf, -1);
                }
                break;
            }
            case kMulRk: {
                const quint16 row = data.u16();
                const quint16 first = data.u16();
                const qsizetype count = (data.left() - 2) / 6;
                for (qsizetype k = 0; k < count; ++k) {
                    const quint16 xf = data.u16();
                    const double value = rkValue(data.u32());
                    if (Cell* cell = cellAt(row, static_cast<quint32>(first) + static_cast<quint32>(k))) {
                        *cell = numberCell(value, xf, -1);
                    }
                }
                break;
            }
            case kLabel:
            case kLabel2:
            case kRString: {
                const Address a = address(data);
                if (Cell* cell = cellAt(a.row, a.column)) {
                    *cell = textCell(labelString(data));
                }
                break;
            }
            case kLabelSst: {
                const Address a = address(data);
                const quint32 index = data.u32();
                if (Cell* cell = cellAt(a.row, a.column)) {
                    *cell = {CellKind::Text, QString::number(index)}; // resolved with the strings
                    sstIndexes_[a.row][a.column] = index;
                }
                break;
            }
            case kBoolErr:
            case kBoolErr2: {
                const Address a = address(data);
                const quint8 value = data.u8();
                const bool isError = data.u8() != 0;
                if (Cell* cell = cellAt(a.row, a.column)) {
                    *cell = isError ? Cell{CellKind::Error, errorText(value)} : booleanCell(value);
                }
                break;
            }
            case kFormula2:
            case kFormula3:
            case kFormula4: {
                const Address a = address(data);
                pendingFormula.reset();
                Cell* cell = cellAt(a.row, a.column);
                if (!cell) {
                    break;
                }
                const QByteArray result = data.bytes(8);
                if (static_cast<quint8>(result[6]) != 0xFF || static_cast<quint8>(result[7]) != 0xFF) {
                    double value;
                    std::memcpy(&value, result.constData(), sizeof value);
                    *cell = numberCell(value, a.xf, a.biff2Format);
                    break;
                }
                switch (result[0]) {
                case 0:
                    pendingFormula.emplace(a.row, a.column);
                    break;
                case 1:
                    *cell = booleanCell(static_cast<quint8>(result[2]));
                    break;
                case 2:
                    *cell = {CellKind::Error, errorText(static_cast<quint8>(result[2]))};
                    break;
                default:
                    *cell = {};
                }
                break;
            }
            case kString:
            case kString2:
                if (pendingFormula) {
                    const QString text = version_ == 8   ? data.unicodeString(data.u16())
                                         : version_ == 2 ? byteString(data, 1)
                                                         : byteString(data, 2);
                    const auto [row, column] = *pendingFormula;
                    *cellAt(row, column) = textCell(text);
                    pendingFormula.reset();
                }
                break;
            case kFilePass:
                throw ReadError(passwordProtectedText());
            default:
                formatRecord(record);
            }
        }
    }

    static Cell textCell(const QString& text) { return text.isEmpty() ? Cell{} : Cell{CellKind::Text, text}; }
    static Cell booleanCell(quint8 value) {
        return {CellKind::Boolean, value ? QStringLiteral("True") : QStringLiteral("False")};
    }

    void throwIfStopped() const {
        if (stop_.stop_requested()) {
            throw ReadError(QStringLiteral("okuma durduruldu"));
        }
    }

    // Only the strings that kept cells use are decoded.
    void resolveSharedStrings() {
        SharedStringSet inUse;
        for (const auto& row : sstIndexes_) {
            for (const quint32 index : row) {
                if (index != kNoSharedString) {
                    inUse.add(index);
                }
            }
        }
        inUse.seal();
        if (inUse.empty()) {
            return;
        }
        if (!hasSst_) {
            throw ReadError(QStringLiteral("ortak metin tablosu yok, ama hücreleri ona başvuruyor"));
        }
        const quint64 highest = *inUse.highest();
        std::vector<QString> strings(inUse.size()); // the strings in use, in the order of their indexes
        RecordReader data(stream_, sst_);
        data.u32();
        data.u32();
        for (quint64 index = 0; index <= highest; ++index) {
            if (data.atEnd()) {
                throw ReadError(QStringLiteral("olmayan bir ortak metne başvuruyor: %1 (%2 metin var)")
                                    .arg(highest)
                                    .arg(index));
            }
            QString text = data.unicodeString(data.u16());
            if (inUse.contains(index)) {
                strings[inUse.rank(index)] = std::move(text);
            }
        }
        for (size_t row = 0; row < rows_.size(); ++row) {
            for (size_t column = 0; column < kReadColumns; ++column) {
                if (const quint32 index = sstIndexes_[row][column]; index != kNoSharedString) {
                    rows_[row][column] = textCell(strings[inUse.rank(index)]);
                }
            }
        }
    }

    static constexpr quint32 kNoSharedString = 0xFFFFFFFF;
    static constexpr std::array<quint32, kReadColumns> kNoSharedStrings = [] {
        std::array<quint32, kReadColumns> none{};
        none.fill(kNoSharedString);
        return none;
    }();

    const QByteArray& stream_;
    std::stop_token stop_;
    int version_ = 8;
    int codePage_ = 1252;
    bool date1904_ = false;
    QHash<int, bool> formats_; // number format index -> shows a date
    std::vector<int> xfFormats_;
    Record sst_;
    bool hasSst_ = false;
    std::vector<Row> rows_;
    // Per kept cell, the shared string it shows, resolved once the sheet is read.
    std::vector<std::array<quint32, kReadColumns>> sstIndexes_;
    quint16 lastRow_ = 0; // of the cell record read last
};

// BIFF rows are few (65,536 at most) and the whole stream is in memory already: the rows are read at once.
// A fault that ended reading them comes after the rows before it.
class GridRows final : public RowSource {
public:
    explicit GridRows(std::shared_ptr<const Grid> grid) : grid_(std::move(grid)) {}
    bool next(RowRun& run) override {
        if (at_ < grid_->rows.size()) {
            run = {grid_->rows[at_++], 1};
            return true;
        }
        if (grid_->fault) {
            throw *grid_->fault;
        }
        return false;
    }

private:
    std::shared_ptr<const Grid> grid_;
    size_t at_ = 0;
};

Grid readGrid(QByteArray data, std::stop_token stop) {
    if (!CompoundFile::hasSignature(data)) {
        return BiffReader(data, std::move(stop)).read();
    }
    std::optional<QByteArray> stream;
    {
        const CompoundFile file(data);
        if (file.stream(QStringLiteral("EncryptedPackage"))) {
            throw ReadError(passwordProtectedText());
        }
        stream = file.stream(QStringLiteral("Workbook"));
        if (!stream) {
            stream = file.stream(QStringLiteral("Book"));
        }
    }
    if (!stream) {
        throw ReadError(notSpreadsheetText());
    }
    data = QByteArray(); // the stream is a copy: the file's bytes are no longer needed
    return BiffReader(*stream, std::move(stop)).read();
}

} // namespace

RowSourceOpener readXls(QByteArray data, std::stop_token stop) {
    auto grid = std::make_shared<const Grid>(readGrid(std::move(data), std::move(stop)));
    return [grid] { return std::make_unique<GridRows>(grid); };
}

} // namespace spreadsheet
