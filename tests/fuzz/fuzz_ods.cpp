#include "FuzzSheet.h"
#include "ZipMutator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzReader([&] { return spreadsheet::readOds(fuzzZip(data, size)); });
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    return zipmutator::mutate(data, size, maxSize, seed);
}
