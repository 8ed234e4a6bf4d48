#include "ImportColumns.h"

#include "messaging/PhoneNumber.h"

#include <QStringList>
#include <algorithm>
#include <string_view>

namespace {

struct FieldName {
    std::u16string_view name; // folded
    Field field;
};

// The names a header gives its columns, folded; "gsm" is a number's column (a GSM number), the operator's
// is "operatör" or "hat".
constexpr FieldName kNames[] = {
    {u"grup", Field::grup},          {u"grubu", Field::grup},     {u"ad soyad", Field::adsoyad},
    {u"adi soyadi", Field::adsoyad}, {u"isim", Field::adsoyad},   {u"ad", Field::adsoyad},
    {u"telefon", Field::telefon},    {u"cep", Field::telefon},    {u"cep telefonu", Field::telefon},
    {u"gsm", Field::telefon},        {u"numara", Field::telefon}, {u"tel", Field::telefon},
    {u"operator", Field::gsm},       {u"hat", Field::gsm},
};

// Lower case with the Turkish letters as their plain Latin ones (the four i's as i), anything but letters
// and digits as one blank between words.
QString folded(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (const QChar c : text) {
        if (c.unicode() == u'\u0307') {
            continue; // a combining dot above, as "İ" may be written
        }
        // İ lowers to i with a dot above, not to i.
        char16_t plain = c.unicode() == u'İ' ? u'i' : c.toLower().unicode();
        switch (plain) {
        case u'ç':
            plain = u'c';
            break;
        case u'ğ':
            plain = u'g';
            break;
        case u'ı':
            plain = u'i';
            break;
        case u'ö':
            plain = u'o';
            break;
        case u'ş':
            plain = u's';
            break;
        case u'ü':
            plain = u'u';
            break;
        default:
            break;
        }
        if (!QChar(plain).isLetterOrNumber()) {
            blank = !out.isEmpty();
            continue;
        }
        if (blank) {
            out.append(u' ');
            blank = false;
        }
        out.append(QChar(plain));
    }
    return out;
}

QString columnLetters(int column) {
    QString letters;
    for (; column > 0; column = (column - 1) / 26) {
        letters.prepend(QChar(u'A' + (column - 1) % 26));
    }
    return letters;
}

QString fieldTitle(Field field) {
    switch (field) {
    case Field::grup:
        return QStringLiteral("grup");
    case Field::adsoyad:
        return QStringLiteral("ad soyad");
    case Field::telefon:
        return QStringLiteral("telefon");
    case Field::gsm:
        break;
    }
    return QStringLiteral("operatör");
}

} // namespace

std::optional<Field> fieldNamedBy(const QString& headerCell) {
    const QString text = folded(headerCell);
    const QStringView view(text);
    std::optional<Field> found;
    qsizetype longest = 0;
    for (const FieldName& known : kNames) {
        const QStringView name(known.name.data(), static_cast<qsizetype>(known.name.size()));
        const bool names = view == name || (view.startsWith(name) && view.size() > name.size() &&
                                            view.at(name.size()) == u' ');
        if (names && name.size() > longest) {
            found = known.field;
            longest = name.size();
        }
    }
    return found;
}

ImportColumns ImportColumns::byPosition() {
    ImportColumns columns;
    for (const Field field : kFields) {
        columns.columns_.at(static_cast<std::size_t>(field)) = static_cast<int>(field) + 1;
    }
    return columns;
}

std::optional<ImportColumns> ImportColumns::fromHeader(const std::array<QString, kReadColumns>& firstRow) {
    ImportColumns columns;
    columns.header_ = true;
    bool named = false;
    for (int column = 1; column <= kReadColumns; ++column) {
        const QString& text = firstRow.at(static_cast<std::size_t>(column - 1));
        if (dialNumber(text).valid()) {
            return std::nullopt; // a contact's number: row 1 is data
        }
        if (const std::optional<Field> field = fieldNamedBy(text)) {
            int& taken = columns.columns_.at(static_cast<std::size_t>(*field));
            taken = taken == 0 ? column : taken;
            named = true;
        }
    }
    if (!named) {
        return std::nullopt;
    }
    return columns;
}

QString ImportColumns::summary() const {
    QStringList used;
    for (const Field field : kFields) {
        if (const int column = of(field); column > 0) {
            used << fieldTitle(field) + QLatin1Char(' ') + columnLetters(column);
        }
    }
    const QString list = used.isEmpty() ? QStringLiteral("hiçbiri") : used.join(QStringLiteral(", "));
    return (header_ ? QStringLiteral("Başlığa göre sütunlar: ") : QStringLiteral("Sütunlar: ")) + list;
}
