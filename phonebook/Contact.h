#pragma once

#include <QString>
#include <array>

// One row of table `numara`. A null QString is a column without a value; an
// empty one holds empty text. The two differ for the search and in the file.
enum class Field { grup, adsoyad, telefon, gsm };

inline constexpr std::array<Field, 4> kFields{Field::grup, Field::adsoyad, Field::telefon, Field::gsm};

QString fieldName(Field field);

// The four text columns, reached by name or by field.
struct FieldTexts {
    QString adsoyad;
    QString telefon;
    QString gsm;
    QString grup;

    const QString& operator[](Field field) const;
    QString& operator[](Field field);
    bool operator==(const FieldTexts&) const = default;
};

struct Contact : FieldTexts {
    qint64 id = 0; // 0 until the database has assigned one
    bool operator==(const Contact&) const = default;
};
