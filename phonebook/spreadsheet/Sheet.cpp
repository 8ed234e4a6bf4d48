#include "Sheet.h"

namespace spreadsheet {

void cellTooLong(long long row, long long column) {
    throw ReadError(QStringLiteral("satır %1, sütun %2: %3 karakterden uzun")
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
