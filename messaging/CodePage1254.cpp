#include "CodePage1254.h"

#include "text/CodePage1254.h"

std::string toCp1254(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    const auto* units = text.utf16();
    const auto size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            ++i; // one character outside the code page, one '?'
            bytes.push_back('?');
        } else if (QChar::isSurrogate(unit)) {
            bytes.push_back('?');
        } else {
            bytes.push_back(cp1254::encode(unit));
        }
    }
    return bytes;
}

QString fromCp1254(const std::string& bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    auto* out = text.data();
    for (const char byte : bytes) {
        *out++ = QChar(cp1254::decode(static_cast<unsigned char>(byte)));
    }
    return text;
}
