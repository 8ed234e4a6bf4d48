#include "SpreadsheetImport.h"

#include "spreadsheet/Worksheet.h"

#include <algorithm>

namespace {

constexpr int kGrup = 1;
constexpr int kAdsoyad = 2;
constexpr int kTelefon = 3;
constexpr int kGsm = 4;

// An empty cell is empty text, which the book keeps as such, not as a
// column without a value.
QString textAt(Worksheet& sheet, int row, int column) {
    const QString text = sheet.cell(row, column).text;
    return text.isNull() ? QStringLiteral("") : text;
}

// Writes many rows in few transactions, kBatch rows each, for speed. The
// rows before a failing one are still kept: its statement alone is undone
// and what came before it is committed.
class WriteBatches {
public:
    static constexpr int kBatch = 1000;

    explicit WriteBatches(PhonebookView& view) : view_(view), conn_(view.database()) { conn_.begin(); }
    ~WriteBatches() {
        if (open_) {
            finish();
        }
    }
    WriteBatches(const WriteBatches&) = delete;
    WriteBatches& operator=(const WriteBatches&) = delete;

    void written() {
        if (++count_ % kBatch == 0) {
            conn_.commit();
            conn_.begin();
        }
    }

    // The end of a whole import: a refused commit is its failure.
    void commit() {
        open_ = false;
        try {
            conn_.commit();
        } catch (const std::exception&) {
            undo();
            throw;
        }
    }

private:
    // An import that failed half-way keeps what it wrote before the failure.
    void finish() noexcept {
        open_ = false;
        try {
            conn_.commit();
        } catch (const std::exception&) {
            undo();
        }
    }

    // The file refused even the commit: nothing of the batch stays, and the
    // view is made to show the table as it really is.
    void undo() noexcept {
        try {
            conn_.rollback();
            view_.reload();
        } catch (const std::exception&) {
            view_.close();
        }
    }

    PhonebookView& view_;
    PhonebookDatabase& conn_;
    int count_ = 0;
    bool open_ = true;
};

} // namespace

QString importedTelefon(const Cell& cell) {
    const bool tenDigits = cell.text.size() == 10 && std::all_of(cell.text.begin(), cell.text.end(),
                                                                 [](QChar c) { return c.isDigit(); });
    if (cell.kind == CellKind::Number && tenDigits) {
        return QLatin1Char('0') + cell.text;
    }
    return cell.text.isNull() ? QStringLiteral("") : cell.text;
}

void importSpreadsheet(PhonebookView& view, const QString& fileName) {
    int row = 1;
    const std::unique_ptr<Worksheet> sheet = openFirstWorksheet(fileName);
    QString adsoyad = sheet->cell(row, kAdsoyad).text;
    WriteBatches batches(view);
    while (!adsoyad.isEmpty()) {
        const QString telefon = importedTelefon(sheet->cell(row, kTelefon));
        if (!view.locate(Field::telefon, telefon)) {
            view.append();
            view.setFieldText(Field::grup, textAt(*sheet, row, kGrup));
            view.setFieldText(Field::adsoyad, adsoyad);
            view.setFieldText(Field::telefon, telefon);
            view.setFieldText(Field::gsm, textAt(*sheet, row, kGsm));
            view.post();
            batches.written();
        }
        ++row;
        adsoyad = sheet->cell(row, kAdsoyad).text;
    }
    batches.commit();
}
