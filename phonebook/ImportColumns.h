#pragma once

#include "Contact.h"
#include "spreadsheet/Worksheet.h"

#include <QString>
#include <array>
#include <optional>

// Which column of the sheet each field of a contact comes from. Without a header, the columns A to D in
// the order grup, adsoyad, telefon, gsm. When the first row is a header, the columns its cells name, in any
// order and among the first kReadColumns; a field no cell names stays empty.
class ImportColumns {
public:
    static ImportColumns byPosition();
    // The columns a first row names, when it is a header: at least one of its cells names a field (case and
    // Turkish letters folded: "Adı Soyadı", "CEP TELEFONU", "Operatör") and none holds a phone number.
    static std::optional<ImportColumns> fromHeader(const std::array<QString, kReadColumns>& firstRow);

    int of(Field field) const { return columns_.at(static_cast<std::size_t>(field)); } // 1-based; 0: none
    bool fromHeader() const { return header_; }
    // What the import summary says of them: "Sütunlar: grup A, ad soyad B, telefon C, operatör D", or
    // "Başlığa göre sütunlar: ad soyad C, telefon E" for a header.
    QString summary() const;

private:
    std::array<int, 4> columns_{}; // by Field
    bool header_ = false;
};

// The field a header cell names, if any: its text with case and Turkish letters folded and punctuation as
// blanks is one of the field's names, or starts with one and a blank ("Cep Tel.", "Telefon 1").
std::optional<Field> fieldNamedBy(const QString& headerCell);
