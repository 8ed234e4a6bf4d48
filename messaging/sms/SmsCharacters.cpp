#include "SmsCharacters.h"

namespace {

constexpr char32_t Replacement = U'\uFFFD';

bool isSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// Appends one character, turning every line break into LF; `lastWasCr` joins CR LF into one.
void append(std::u32string& out, char32_t c, bool& lastWasCr) {
    const bool joinsCr = lastWasCr && c == U'\n';
    lastWasCr = c == U'\r';
    if (joinsCr) {
        return;
    }
    if (c == U'\r' || c == U'\u2028' || c == U'\u2029') {
        c = U'\n';
    } else if (isSurrogate(c) || c > 0x10FFFF) {
        c = Replacement;
    }
    out.push_back(c);
}

} // namespace

std::u32string smsCharacters(std::u16string_view text) {
    std::u32string out;
    out.reserve(text.size());
    bool lastWasCr = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        append(out, c, lastWasCr);
    }
    return out;
}

std::u32string smsCharacters(std::u32string_view text) {
    std::u32string out;
    out.reserve(text.size());
    bool lastWasCr = false;
    for (const char32_t c : text) {
        append(out, c, lastWasCr);
    }
    return out;
}

std::string toUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (isSurrogate(c) || c > 0x10FFFF) {
            c = Replacement;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u32string fromUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t c = lead;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4;
            c = lead & 0x07;
        }
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are no UTF-8.
        static constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!valid || c < Smallest[length] || isSurrogate(c) || c > 0x10FFFF) {
            out += Replacement;
            ++i;
            continue;
        }
        out += c;
        i += static_cast<std::size_t>(length);
    }
    return out;
}
