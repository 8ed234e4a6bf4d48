#pragma once

#include <QString>
#include <QStringView>

// LIKE as Turkish users expect it: `%` any run of characters, `_` any one
// character, letters compared without regard to case, Turkish letters
// included (ş/Ş, ç/Ç, ğ/Ğ, ö/Ö, ü/Ü), and the four letters i, ı, I, İ taken
// as one, since names are typed both with and without Turkish letters.
//
// The search hands SQLite this LIKE pattern as a regular expression for the
// REGEXP operator that Qt's SQLite driver defines on its own connection
// (QSQLITE_ENABLE_REGEXP). SQLite's own LIKE folds only ASCII letters, and a
// function registered through a separately linked SQLite library would reach
// the driver's connection only where the driver uses that very library.
QString turkishLikeExpression(QStringView pattern);

// Whether `value` matches the LIKE `pattern`, as the search decides it.
bool turkishLike(QStringView pattern, QStringView value);
