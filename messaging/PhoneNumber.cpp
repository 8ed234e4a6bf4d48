#include "PhoneNumber.h"

#include "text/Ascii.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kMinInternationalDigits = 8;  // shortest international number with its country code
constexpr int kMaxInternationalDigits = 15; // ITU-T E.164
constexpr int kNationalDigits = 10;         // Turkish number without its leading zero: 5321234567

bool isSeparator(QChar c) {
    return c.isSpace() || c == u'-' || c == u'.' || c == u'/' || c == u'(' || c == u')';
}

DialNumber invalid(const QString& typed, const QString& reason) {
    return {QString(), QStringLiteral("geçersiz numara: %1 (%2)").arg(typed.trimmed(), reason)};
}

// `digits` holds all `count` digits whenever the count is within bounds.
DialNumber international(const QString& typed, QStringView digits, qsizetype count) {
    if (count < kMinInternationalDigits) {
        return invalid(typed, QStringLiteral("çok kısa"));
    }
    if (count > kMaxInternationalDigits) {
        return invalid(typed, QStringLiteral("çok uzun"));
    }
    return {QStringLiteral("+").append(digits), QString()};
}

} // namespace

DialNumber dialNumber(const QString& typed) {
    // The text without its separators, on the stack: an import runs this for every row. A number longer
    // than the buffer is too long in every form, so past it only the count matters.
    std::array<char16_t, 3 + kMaxInternationalDigits> kept{};
    qsizetype count = 0;
    bool plus = false;
    bool onlyDigits = true;
    for (const QChar c : typed) {
        if (isSeparator(c)) {
            continue;
        }
        if (count == 0 && c == u'+') {
            plus = true;
        } else if (!ascii::isDigit(c.unicode())) {
            onlyDigits = false;
        }
        if (count < static_cast<qsizetype>(kept.size())) {
            kept[static_cast<std::size_t>(count)] = c.unicode();
        }
        ++count;
    }
    if (count == 0) {
        return {QString(), QStringLiteral("geçersiz numara: boş")};
    }
    if (!onlyDigits) {
        return invalid(typed, QStringLiteral("rakam dışı karakter"));
    }

    const qsizetype size = plus ? count - 1 : count;
    const QStringView digits =
        QStringView(kept.data(), std::min(count, static_cast<qsizetype>(kept.size()))).mid(plus ? 1 : 0);
    if (plus) {
        return international(typed, digits, size);
    }
    if (digits.startsWith(u"00")) {
        return international(typed, digits.mid(2), size - 2);
    }
    const auto national = [](QStringView tenDigits) {
        return DialNumber{QStringLiteral("+90").append(tenDigits), QString()};
    };
    if (size == kNationalDigits + 2 && digits.startsWith(u"90")) {
        return national(digits.mid(2));
    }
    if (size == kNationalDigits + 1 && digits.startsWith(u'0')) {
        return national(digits.mid(1));
    }
    if (size == kNationalDigits && digits.startsWith(u'5')) {
        return national(digits);
    }
    if (size < kNationalDigits) {
        return invalid(typed, QStringLiteral("çok kısa"));
    }
    if (size > kNationalDigits + 2) {
        return invalid(typed, QStringLiteral("çok uzun"));
    }
    return invalid(typed, QStringLiteral("tanınmayan biçim"));
}
