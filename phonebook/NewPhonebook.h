#pragma once

#include <QString>

// Makes a new, empty phone book at `fileName` from the schema the program
// carries (the same one the build uses). An existing file is never replaced:
// the book is made under another name and then given its own name only if
// that is still free. Returns false when another program made the file
// first; throws PhonebookError when the book cannot be made.
bool createPhonebook(const QString& fileName);
