#pragma once

// The readers behind openFirstWorksheet, one per format, each on the whole file's bytes.
// They throw ReadError with what is wrong; openFirstWorksheet names the file.

#include "Sheet.h"

#include <QByteArray>
#include <memory>

namespace spreadsheet {

class ZipArchive;

// Largest file openFirstWorksheet reads, and largest part it unpacks from a zip container.
inline constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
inline constexpr qint64 kMaxPartBytes = 64LL * 1024 * 1024;

std::unique_ptr<GridWorksheet> readCsv(const QByteArray& data);
std::unique_ptr<GridWorksheet> readXlsx(ZipArchive& zip);
std::unique_ptr<GridWorksheet> readOds(ZipArchive& zip);
std::unique_ptr<GridWorksheet> readXls(const QByteArray& data);

// A zip container holds either; ReadError when its parts fit neither.
std::unique_ptr<GridWorksheet> readZipWorkbook(const QByteArray& data);

} // namespace spreadsheet
