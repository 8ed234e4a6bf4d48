#pragma once

#include <QStringView>

struct sqlite3;

// LIKE as Turkish users expect it: `%` any run of characters, `_` any one
// character, letters compared without regard to case, Turkish letters
// included (ş/Ş, ç/Ç, ğ/Ğ, ö/Ö, ü/Ü), and the four letters i, ı, I, İ taken
// as one, since names are typed both with and without Turkish letters.
bool turkishLike(QStringView pattern, QStringView value);

// Replaces the engine's LIKE operator on this connection by turkishLike.
// SQLite's own LIKE folds only ASCII letters.
void installTurkishLike(sqlite3* db);
