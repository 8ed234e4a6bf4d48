#include "FuzzSheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzReader([&] { return spreadsheet::readCsv(fuzzFile(data, size)); });
}
