#include "Sheet.h"

namespace spreadsheet {

void cellTooLong(long long row, long long column) {
    throw ReadError(QStringLiteral("row %1, column %2 holds more than %3 characters")
                        .arg(row)
                        .arg(column)
                        .arg(kMaxCellCharacters));
}

QString checkedCellText(QString text, long long row, long long column) {
    if (text.size() > kMaxCellCharacters) {
        cellTooLong(row, column);
    }
    return text;
}

} // namespace spreadsheet
