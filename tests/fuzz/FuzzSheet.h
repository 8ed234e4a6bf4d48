#pragma once

// Reads what the import would read from a sheet a reader built from fuzzed bytes.

#include "Readers.h"

#include <cstddef>
#include <cstdint>

inline QByteArray fuzzBytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

template <typename Read> int fuzzReader(Read read) {
    try {
        const auto sheet = read();
        for (int row = 1; !sheet->cell(row, 2).text.isEmpty(); ++row) {
            for (int column = 1; column <= kReadColumns; ++column) {
                sheet->cell(row, column);
            }
        }
    } catch (const spreadsheet::ReadError&) {
        // A refused file is a result; anything else escapes and is a finding.
    }
    return 0;
}
