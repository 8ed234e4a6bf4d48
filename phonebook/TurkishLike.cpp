#include "TurkishLike.h"

#include "PhonebookError.h"

#include <QChar>
#include <QList>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr char32_t kAnyRun = U'%';
constexpr char32_t kAnyOne = U'_';

char32_t fold(char32_t c) {
    if (c < 0x80) {
        return (c >= U'A' && c <= U'Z') ? c + 0x20 : c;
    }
    if (c == U'\u0130' || c == U'\u0131') { // İ and ı
        return U'i';
    }
    return QChar::toCaseFolded(c);
}

// Decodes UTF-8 and folds in one pass. Malformed bytes count as one
// character each, so hostile text still matches deterministically.
void foldUtf8(const unsigned char* text, int size, std::vector<char32_t>& out) {
    out.clear();
    out.reserve(static_cast<std::size_t>(size));
    for (int i = 0; i < size;) {
        const unsigned char b = text[i];
        char32_t c = b;
        int length = 1;
        if (b >= 0xC0 && b < 0xE0 && i + 1 < size) {
            c = ((b & 0x1Fu) << 6) | (text[i + 1] & 0x3Fu);
            length = 2;
        } else if (b >= 0xE0 && b < 0xF0 && i + 2 < size) {
            c = ((b & 0x0Fu) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu);
            length = 3;
        } else if (b >= 0xF0 && i + 3 < size) {
            c = ((b & 0x07u) << 18) | ((text[i + 1] & 0x3Fu) << 12) | ((text[i + 2] & 0x3Fu) << 6) |
                (text[i + 3] & 0x3Fu);
            length = 4;
        }
        out.push_back(fold(c));
        i += length;
    }
}

// Text first, then its size: the order SQLite asks for, since asking for
// the size first may convert the value and move its text.
void foldValue(sqlite3_value* value, std::vector<char32_t>& out) {
    const unsigned char* text = sqlite3_value_text(value);
    const int size = sqlite3_value_bytes(value);
    foldUtf8(text, size, out);
}

void foldUtf16(QStringView text, std::vector<char32_t>& out) {
    out.clear();
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const char32_t c : text.toUcs4()) {
        out.push_back(fold(c));
    }
}

// Greedy matching with one backtrack point: linear for the usual
// "%text%" patterns, and never recursive, whatever the user typed.
bool matchFolded(const std::vector<char32_t>& pattern, const std::vector<char32_t>& value) {
    std::size_t p = 0;
    std::size_t v = 0;
    std::size_t star = pattern.size();
    std::size_t mark = 0;
    while (v < value.size()) {
        if (p < pattern.size() && pattern[p] == kAnyRun) {
            star = p++;
            mark = v;
        } else if (p < pattern.size() && (pattern[p] == kAnyOne || pattern[p] == value[v])) {
            ++p;
            ++v;
        } else if (star != pattern.size()) {
            p = star + 1;
            v = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == kAnyRun) {
        ++p;
    }
    return p == pattern.size();
}

struct FoldedPattern {
    std::vector<char32_t> chars;
};

void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (argc != 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL ||
        sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    // The pattern is the same for every row of one statement: fold it once
    // and keep it with the statement. The first row works on its own copy,
    // since SQLite may drop the kept one at once.
    const auto* pattern = static_cast<const FoldedPattern*>(sqlite3_get_auxdata(context, 0));
    FoldedPattern firstRow;
    if (pattern == nullptr) {
        foldValue(argv[0], firstRow.chars);
        auto kept = std::make_unique<FoldedPattern>(firstRow);
        sqlite3_set_auxdata(context, 0, kept.release(),
                            [](void* p) { std::unique_ptr<FoldedPattern>(static_cast<FoldedPattern*>(p)); });
        pattern = &firstRow;
    }
    thread_local std::vector<char32_t> value;
    foldValue(argv[1], value);
    sqlite3_result_int(context, matchFolded(pattern->chars, value) ? 1 : 0);
}

} // namespace

bool turkishLike(QStringView pattern, QStringView value) {
    std::vector<char32_t> p;
    std::vector<char32_t> v;
    foldUtf16(pattern, p);
    foldUtf16(value, v);
    return matchFolded(p, v);
}

void installTurkishLike(sqlite3* db) {
    const int rc = sqlite3_create_function_v2(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                              likeFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        throw PhonebookError(QString::fromUtf8(sqlite3_errmsg(db)));
    }
}
