#include "FuzzSheet.h"
#include "ZipArchive.h"
#include "ZipMutator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzzBytes(data, size);
    return fuzzReader([&] {
        spreadsheet::ZipArchive zip(bytes);
        return spreadsheet::readXlsx(zip);
    });
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    return zipmutator::mutate(data, size, maxSize, seed);
}
