#include "MessageText.h"

#include "CodePage1254.h"

#include <QPlainTextEdit>
#include <algorithm>
#include <array>

namespace {

struct Fold {
    char16_t letter;
    char16_t replacement;
};

// Capitals first, then small letters, each case in the order Ş, Ö, Ü, İ, Ğ, Ç.
constexpr std::array<Fold, 12> foldingTable = {{
    {u'\u015E', u'S'}, // Ş
    {u'\u00D6', u'O'}, // Ö
    {u'\u00DC', u'U'}, // Ü
    {u'\u0130', u'I'}, // İ
    {u'\u011E', u'G'}, // Ğ
    {u'\u00C7', u'C'}, // Ç
    {u'\u015F', u's'}, // ş
    {u'\u00F6', u'o'}, // ö
    {u'\u00FC', u'u'}, // ü
    {u'\u0131', u'i'}, // ı
    {u'\u011F', u'g'}, // ğ
    {u'\u00E7', u'c'}, // ç
}};

bool isLineBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

int messageLength(const QString& memoText) {
    return static_cast<int>(messageBytes(memoText).size());
}

void foldTurkishLetters(QPlainTextEdit& memo1) {
    for (const auto& row : foldingTable) {
        QString text = memo1.toPlainText();
        if (!text.contains(QChar(row.letter))) {
            continue;
        }
        text.replace(QChar(row.letter), QChar(row.replacement));
        memo1.setPlainText(text);
    }
}

QString foldedTurkishLetters(QString text) {
    for (const auto& row : foldingTable) {
        text.replace(QChar(row.letter), QChar(row.replacement));
    }
    return text;
}

std::string messageBytes(const QString& memoText) {
    // The text box reports its line breaks as '\n'; pasted text may still carry "\r\n", a lone '\r'
    // or the Unicode separators. Each of them is one line break and goes out as CR LF.
    QString text;
    text.reserve(memoText.size() + memoText.size() / 8);
    for (qsizetype i = 0; i < memoText.size(); ++i) {
        const QChar c = memoText.at(i);
        if (!isLineBreak(c)) {
            text.append(c);
            continue;
        }
        if (c == u'\r' && i + 1 < memoText.size() && memoText.at(i + 1) == u'\n') {
            ++i;
        }
        text.append(u"\r\n");
    }
    std::string bytes = toCp1254(text);
    std::replace_if(
        bytes.begin(), bytes.end(), [](char b) { return b == '\0' || b == '\x1A' || b == '\x1B'; }, '?');
    return bytes;
}
