#include "PhoneNumber.h"

#include <algorithm>

namespace {

constexpr int kMinInternationalDigits = 8;  // shortest international number with its country code
constexpr int kMaxInternationalDigits = 15; // ITU-T E.164
constexpr int kNationalDigits = 10;         // Turkish number without its leading zero: 5321234567

bool isSeparator(QChar c) {
    return c.isSpace() || c == u'-' || c == u'.' || c == u'/' || c == u'(' || c == u')';
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool allDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), isAsciiDigit);
}

DialNumber invalid(const QString& typed, const QString& reason) {
    return {QString(), QStringLiteral("geçersiz numara: %1 (%2)").arg(typed.trimmed(), reason)};
}

DialNumber international(const QString& typed, QStringView digits) {
    if (digits.size() < kMinInternationalDigits) {
        return invalid(typed, QStringLiteral("çok kısa"));
    }
    if (digits.size() > kMaxInternationalDigits) {
        return invalid(typed, QStringLiteral("çok uzun"));
    }
    return {QStringLiteral("+").append(digits), QString()};
}

} // namespace

DialNumber dialNumber(const QString& typed) {
    QString text;
    text.reserve(typed.size());
    for (const QChar c : typed) {
        if (!isSeparator(c)) {
            text.append(c);
        }
    }
    if (text.isEmpty()) {
        return {QString(), QStringLiteral("geçersiz numara: boş")};
    }

    const bool plus = text.startsWith(u'+');
    const QStringView digits = plus ? QStringView(text).mid(1) : QStringView(text);
    if (!allDigits(digits)) {
        return invalid(typed, QStringLiteral("rakam dışı karakter"));
    }
    if (plus) {
        return international(typed, digits);
    }
    if (digits.startsWith(u"00")) {
        return international(typed, digits.mid(2));
    }
    const auto national = [](QStringView tenDigits) {
        return DialNumber{QStringLiteral("+90").append(tenDigits), QString()};
    };
    if (digits.size() == kNationalDigits + 2 && digits.startsWith(u"90")) {
        return national(digits.mid(2));
    }
    if (digits.size() == kNationalDigits + 1 && digits.startsWith(u'0')) {
        return national(digits.mid(1));
    }
    if (digits.size() == kNationalDigits && digits.startsWith(u'5')) {
        return national(digits);
    }
    if (digits.size() < kNationalDigits) {
        return invalid(typed, QStringLiteral("çok kısa"));
    }
    if (digits.size() > kNationalDigits + 2) {
        return invalid(typed, QStringLiteral("çok uzun"));
    }
    return invalid(typed, QStringLiteral("tanınmayan biçim"));
}
