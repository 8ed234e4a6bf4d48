#include "CellText.h"

#include "text/CodePage1254.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <array>
#include <charconv>
#include <cmath>

namespace spreadsheet {

QString generalNumber(double value) {
    if (value == 0.0) {
        return QStringLiteral("0"); // also -0
    }
    std::array<char, 64> buffer{};
    if (std::trunc(value) == value && std::fabs(value) < 1e15) {
        const auto whole = static_cast<long long>(value);
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), whole);
        return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
    }
    // to_chars does not follow the C locale's decimal separator, unlike printf.
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data()).toUpper();
}

QString dateText(const QDate& date) {
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString timeText(const QTime& time) {
    const QLocale locale = QLocale::system();
    if (time.second() != 0) {
        return locale.toString(time, QStringLiteral("HH:mm:ss"));
    }
    return locale.toString(time, QLocale::ShortFormat);
}

QString dateTimeText(const QDate& date, const QTime& time) {
    if (time == QTime(0, 0)) {
        return dateText(date);
    }
    return dateText(date) + QLatin1Char(' ') + timeText(time);
}

std::optional<QString> dateFromSerial(double serial, bool date1904) {
    // 2958466 is 10000-01-01 in the 1900 system.
    if (!std::isfinite(serial) || serial < 0.0 || serial >= 2958465.0) {
        return std::nullopt;
    }
    auto days = static_cast<long long>(std::floor(serial));
    auto seconds = std::llround((serial - static_cast<double>(days)) * 86400.0);
    if (seconds >= 86400) {
        ++days;
        seconds = 0;
    }
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds));
    if (date1904) {
        return dateTimeText(QDate(1904, 1, 1).addDays(days), time);
    }
    if (days == 0) {
        return timeText(time);
    }
    // The 1900 system counts a 29 February 1900 that never was: serials below 61 are a day off.
    const QDate epoch = days < 61 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    return dateTimeText(epoch.addDays(days), time);
}

bool isDateFormatId(int id) {
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
}

bool isDateFormatCode(const QString& code) {
    if (code.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0 ||
        code.compare(QLatin1String("Standard"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool inQuotes = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (inQuotes) {
            inQuotes = c != QLatin1Char('"');
            continue;
        }
        switch (c.unicode()) {
        case '"':
            inQuotes = true;
            break;
        case '\\': // escaped literal
        case '_':  // space as wide as the next character
        case '*':  // fill with the next character
            ++i;
            break;
        case '[': {
            // [Red], [$-41F], [>100] are no date parts; [h], [mm], [ss] are elapsed times.
            const qsizetype close = code.indexOf(QLatin1Char(']'), i);
            if (close < 0) {
                return false;
            }
            const QString inner = code.mid(i + 1, close - i - 1).toLower();
            if (!inner.isEmpty() && inner.count(inner.at(0)) == inner.size() &&
                QStringLiteral("hms").contains(inner.at(0))) {
                return true;
            }
            i = close;
            break;
        }
        default:
            if (QStringLiteral("dmyhsDMYHS").contains(c)) {
                return true;
            }
        }
    }
    return false;
}

QString unescapeXlsxText(const QString& text) {
    if (!text.contains(QLatin1String("_x"))) {
        return text;
    }
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('_') && i + 6 < text.size() && text.at(i + 1) == QLatin1Char('x') &&
            text.at(i + 6) == QLatin1Char('_')) {
            bool ok = false;
            const ushort code = QStringView(text).mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out.append(QChar(code));
                i += 6;
                continue;
            }
        }
        out.append(text.at(i));
    }
    return out;
}

QString fromCodePage1254(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        *out++ = QChar(cp1254::decode(static_cast<unsigned char>(byte)));
    }
    return text;
}

} // namespace spreadsheet
