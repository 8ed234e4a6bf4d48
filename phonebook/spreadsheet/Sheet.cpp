#include "Sheet.h"

#include <algorithm>

namespace spreadsheet {

bool isBlank(const Row& row) {
    return std::all_of(row.begin(), row.end(), [](const Cell& cell) { return cell.text.isEmpty(); });
}

void clear(Row& row) {
    for (Cell& cell : row) {
        if (cell.kind != CellKind::Empty || !cell.text.isNull()) {
            cell = {};
        }
    }
}

void cellTooLong(long long row, long long column) {
    throw ReadError(QStringLiteral("%1 karakterden uzun").arg(kMaxCellCharacters), row, column);
}

QString checkedCellText(QString text, long long row, long long column) {
    if (text.size() > kMaxCellCharacters) {
        cellTooLong(row, column);
    }
    return text;
}

void makeStorable(QString& text) {
    const auto unfit = [](QChar c) { return c.unicode() == 0 || c.isSurrogate(); };
    if (std::none_of(text.cbegin(), text.cend(), unfit)) {
        return;
    }
    QString storable;
    storable.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            storable.append(c);
            storable.append(text.at(++i));
        } else if (c.isSurrogate()) {
            storable.append(QChar::ReplacementCharacter);
        } else if (c.unicode() != 0) {
            storable.append(c);
        }
    }
    text = std::move(storable);
}

} // namespace spreadsheet
