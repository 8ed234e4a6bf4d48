#pragma once

#include "phonebook/spreadsheet/Worksheet.h"

#include <QString>

// A worksheet made row by row, without a file: row r is group "Grup",
// name "Kişi r", a number of its own and operator "Avea", down to `rows`.
// It can throw at one row, as a streaming reader does for a fault it meets
// late in a file.
class GeneratedSheet : public Worksheet {
public:
    explicit GeneratedSheet(int rows, int failingRow = 0) : rows_(rows), failingRow_(failingRow) {}

    static QString number(int row) { return QStringLiteral("05%1").arg(320000000 + row); }

    bool pastEnd(int row) override {
        if (row == failingRow_) {
            throw SpreadsheetError(QStringLiteral("sheet.xlsx"), QStringLiteral("a row is cut short"), row);
        }
        return row > rows_;
    }

    Cell cell(int row, int column) override {
        if (row == failingRow_) {
            throw SpreadsheetError(QStringLiteral("sheet.xlsx"), QStringLiteral("a row is cut short"), row);
        }
        if (row > rows_) {
            return {};
        }
        switch (column) {
        case 1:
            return {CellKind::Text, QStringLiteral("Grup")};
        case 2:
            return {CellKind::Text, QStringLiteral("Kişi %1").arg(row)};
        case 3:
            return {CellKind::Text, number(row)};
        case 4:
            return {CellKind::Text, QStringLiteral("Avea")};
        default:
            return {};
        }
    }

private:
    int rows_;
    int failingRow_;
};
