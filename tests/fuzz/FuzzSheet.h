#pragma once

// Reads what the import would read from a sheet a reader built from fuzzed bytes.

#include "Readers.h"
#include "SourceFile.h"
#include "StreamedWorksheet.h"
#include "ZipArchive.h"

#include <cstddef>
#include <cstdint>

inline std::shared_ptr<const spreadsheet::SourceFile> fuzzFile(const std::uint8_t* data, std::size_t size) {
    return std::make_shared<const spreadsheet::SourceFile>(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
}

inline std::shared_ptr<const spreadsheet::ZipArchive> fuzzZip(const std::uint8_t* data, std::size_t size) {
    return std::make_shared<const spreadsheet::ZipArchive>(fuzzFile(data, size));
}

template <typename Read> int fuzzReader(Read read) {
    try {
        spreadsheet::StreamedWorksheet sheet(QStringLiteral("fuzz"), read());
        for (int row = 1; !sheet.cell(row, 2).text.isEmpty(); ++row) {
            for (int column = 1; column <= kReadColumns; ++column) {
                sheet.cell(row, column);
            }
        }
    } catch (const spreadsheet::ReadError&) {
        // A refused file is a result; anything else escapes and is a finding.
    } catch (const SpreadsheetError&) {
    }
    return 0;
}
