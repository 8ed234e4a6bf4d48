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
    while (!adsoyad.isEmpty()) {
        const QString telefon = importedTelefon(sheet->cell(row, kTelefon));
        if (!view.locate(Field::telefon, telefon)) {
            view.append();
            view.setFieldText(Field::grup, textAt(*sheet, row, kGrup));
            view.setFieldText(Field::adsoyad, adsoyad);
            view.setFieldText(Field::telefon, telefon);
            view.setFieldText(Field::gsm, textAt(*sheet, row, kGsm));
            view.post();
        }
        ++row;
        adsoyad = sheet->cell(row, kAdsoyad).text;
    }
}
