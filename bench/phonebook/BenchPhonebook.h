#pragma once

// Phone book files for the benchmarks, written straight through SQLite with the program's schema, so that
// making a book of a million contacts takes seconds and nothing of the program is timed on the way.

#include <QByteArray>
#include <QString>
#include <functional>

namespace benchphonebook {

inline constexpr const char* kGroups[] = {"Aile", "İş", "Arkadaşlar", "Müşteriler", "Ankara Şube"};
inline constexpr const char* kOperators[] = {"Turkcell", "Vodafone", "Avea"};

struct NameAndNumber {
    QByteArray adsoyad;
    QByteArray telefon;
};

// A new file at `path` with `contacts` rows: row i (0-based) has the name and number `row(i)` gives, the
// operators and groups in turn. False when the file cannot be written.
bool writePhonebook(const QString& path, long contacts, const std::function<NameAndNumber(long)>& row);

} // namespace benchphonebook
