#pragma once

// The readers behind openFirstWorksheet, one per format. Each checks what it can at once and hands back an
// opener of the sheet's rows, which read as they are asked for. They throw ReadError with what is wrong;
// the worksheet names the file.

#include "Sheet.h"

#include <QByteArray>
#include <memory>

namespace spreadsheet {

class SourceFile;
class ZipArchive;

// Largest .xls file: its streams are read whole.
inline constexpr qint64 kMaxXlsBytes = 256LL * 1024 * 1024;
// Largest CSV text read.
inline constexpr qint64 kMaxTextBytes = 4LL << 30;

RowSourceOpener readCsv(std::shared_ptr<const SourceFile> file);
RowSourceOpener readXlsx(const std::shared_ptr<const ZipArchive>& zip);
RowSourceOpener readOds(std::shared_ptr<const ZipArchive> zip);
RowSourceOpener readXls(const QByteArray& data);

// A zip container holds either; ReadError when its parts fit neither.
RowSourceOpener readZipWorkbook(std::shared_ptr<const ZipArchive> zip);

} // namespace spreadsheet
