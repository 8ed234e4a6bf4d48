#pragma once

// The readers behind openFirstWorksheet, one per format. Each checks what it can at once and hands back an
// opener of the sheet's rows, which read as they are asked for. They throw ReadError with what is wrong;
// the worksheet names the file.

#include "Sheet.h"

#include <QByteArray>
#include <memory>
#include <stop_token>

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
// The file's bytes are let go of as soon as its workbook stream is out of them.
RowSourceOpener readXls(QByteArray data, std::stop_token stop = {});

// A zip container holds either; ReadError when its parts fit neither.
RowSourceOpener readZipWorkbook(std::shared_ptr<const ZipArchive> zip);

// openFirstWorksheet, with a stop that another thread may request to end the opening and every later read
// early (ReadError).
std::unique_ptr<Worksheet> openWorksheet(const QString& fileName, std::stop_token stop);

} // namespace spreadsheet
