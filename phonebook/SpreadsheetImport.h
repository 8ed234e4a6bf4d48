#pragma once

#include "PhonebookView.h"

#include <QString>

// "Excel den Yükle": reads the first worksheet of the file from row 1 down
// to the first row whose column 2 is empty, and appends every row whose
// number (column 3) the phone book view does not hold yet, written one row
// at a time: column 1 grup, 2 adsoyad, 3 telefon, 4 gsm.
//
// A failure ends the import with the rows before it written; a row the
// database refused stays pending in the view.
void importSpreadsheet(PhonebookView& view, const QString& fileName);

// The number as the phone book keeps it. A spreadsheet that holds a mobile
// number as a number has dropped its leading zero; ten digits get it back,
// since "+9" and a number without its zero would reach another country.
QString importedTelefon(const struct Cell& cell);
