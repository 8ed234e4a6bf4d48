#include "FuzzSheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzzBytes(data, size);
    return fuzzReader([&] { return spreadsheet::readCsv(bytes); });
}
