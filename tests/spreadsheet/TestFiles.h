#pragma once

// Building test workbooks on disk and comparing read cells with the corpus' expectations.

#include "Worksheet.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <utility>
#include <vector>

namespace testfiles {

using Parts = std::vector<std::pair<QString, QByteArray>>;

QString corpusPath(const QString& relative);

// A scratch folder for one test; files vanish with it.
class Scratch {
public:
    QString write(const QString& name, const QByteArray& content) const;
    // Parts deflated, or stored as they are (quicker to write when they are large).
    QString writeZip(const QString& name, const Parts& parts, bool deflate = true) const;
    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

struct XlsxParts {
    QByteArray sheetData{};          // the content of <sheetData>
    QByteArray sharedStrings{};      // <si> items; no part when empty
    QByteArray styles{};             // the whole styles part; none when empty
    QByteArray workbookProperties{}; // e.g. <workbookPr date1904="1"/>
};
Parts xlsxParts(const XlsxParts& workbook);

// content.xml with the given rows inside the first table.
Parts odsParts(const QByteArray& tableRows);

// Row r (1-based) of a sheet: the texts of columns 1 to `columns` (the four a contact has, unless said).
std::vector<QString> rowTexts(Worksheet& sheet, int row, int columns = 4);
// Rows from 1 down to the first one whose column 2 is empty.
int rowCount(Worksheet& sheet);

// Runs work in a forked child and returns how far the child's peak resident memory (ru_maxrss) rose above
// what it had at its start, in KiB; -1 when the work threw or the child failed.
long peakGrowthKiBInChild(const std::function<void()>& work);
// Whether memory figures mean anything in this build: sanitizers keep freed memory and shadow all of it.
bool memoryIsMeasurable();

// The what() of the SpreadsheetError that opening the file, or reading every row of it as the import does, throws;
// "" when it reads.
QString openError(const QString& fileName);

} // namespace testfiles
