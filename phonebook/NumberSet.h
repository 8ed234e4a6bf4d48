#pragma once

#include <QtGlobal>
#include <vector>

// The numbers an import has seen, each packed into a non-zero integer. Open
// addressing in one array: a million numbers take 16 MiB, and a lookup
// costs one memory access, which is what an import of many rows waits for.
class NumberSet {
public:
    // False when `key` was in the set already.
    bool insert(quint64 key) {
        if ((size_ + 1) * 2 > slots_.size()) {
            grow();
        }
        for (std::size_t i = slot(key);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i] == key) {
                return false;
            }
            if (slots_[i] == 0) {
                slots_[i] = key;
                ++size_;
                return true;
            }
        }
    }

private:
    std::size_t slot(quint64 key) const {
        // Fibonacci hashing: the dial numbers' low bits alone are no hash.
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift_);
    }

    void grow() {
        std::vector<quint64> old(slots_.empty() ? 1024 : slots_.size() * 2, 0);
        old.swap(slots_);
        shift_ = 64;
        for (std::size_t n = slots_.size(); n > 1; n /= 2) {
            --shift_;
        }
        size_ = 0;
        for (const quint64 key : old) {
            if (key != 0) {
                insert(key);
            }
        }
    }

    std::vector<quint64> slots_; // 0: free; the size is a power of two
    std::size_t size_ = 0;
    int shift_ = 64;
};
