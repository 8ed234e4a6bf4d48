#include "MessageText.h"

#include "CodePage1254.h"
#include "QtPrinters.h"

#include <QPlainTextEdit>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

std::string bytes(std::initializer_list<unsigned char> values) {
    return {values.begin(), values.end()};
}

TEST(CodePage1254, TurkishLettersAreTheirSingleBytes) {
    EXPECT_EQ(toCp1254(u"ŞÖÜİĞÇşöüığç"_s),
              bytes({0xDE, 0xD6, 0xDC, 0xDD, 0xD0, 0xC7, 0xFE, 0xF6, 0xFC, 0xFD, 0xF0, 0xE7}));
    EXPECT_EQ(fromCp1254(bytes({0xDE, 0xFD, 0x80, 0x9F})), u"Şı€Ÿ"_s);
}

TEST(CodePage1254, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(fromCp1254(all).size(), 256);
    EXPECT_EQ(toCp1254(fromCp1254(all)), all);
}

TEST(CodePage1254, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
    EXPECT_EQ(toCp1254(u"ÐÝÞðýþ"_s), "??????"); // Latin-1 letters whose bytes hold Turkish ones here
    EXPECT_EQ(toCp1254(u"Привет ā"_s), "?????? ?");
    EXPECT_EQ(toCp1254(u"a😀b"_s), "a?b"); // a surrogate pair is one character
    const QChar lone[] = {QChar(u'x'), QChar(char16_t{0xD800}), QChar(u'y')};
    EXPECT_EQ(toCp1254(QString(lone, 3)), "x?y");
    EXPECT_EQ(toCp1254(QString()), "");
}

TEST(MessageText, CountsLineBreaksAsTwo) {
    EXPECT_EQ(messageLength(QString()), 0);
    EXPECT_EQ(messageLength(u"abc\ndef"_s), 8);
    EXPECT_EQ(messageLength(u"abc\r\ndef"_s), 8);
    EXPECT_EQ(messageLength(u"\n\n"_s), 4);
    EXPECT_EQ(messageLength(u"şğ😀"_s), 3);
}

TEST(MessageText, BytesCarryCrLfAndCodePage1254) {
    EXPECT_EQ(messageBytes(u"abc\ndef"_s), "abc\r\ndef");
    EXPECT_EQ(messageBytes(u"a\r\nb\rc\u2029d\u2028e\n"_s), "a\r\nb\r\nc\r\nd\r\ne\r\n");
    EXPECT_EQ(messageBytes(u"Şu"_s), bytes({0xDE, 'u'}));
}

TEST(MessageText, CharactersThatWouldEndTheTextEntryGoOutAsQuestionMarks) {
    EXPECT_EQ(messageBytes(u"a\u001Ab\u001Bc"_s + QChar(u'\0') + u"d\te"_s), "a?b?c?d\te");
}

class Folding : public ::testing::Test {
protected:
    Folding() {
        QObject::connect(&memo1, &QPlainTextEdit::textChanged, [this] { ++writes; });
    }
    QString fold(const QString& text) {
        memo1.setPlainText(text);
        writes = 0;
        foldTurkishLetters(memo1);
        return memo1.toPlainText();
    }
    QPlainTextEdit memo1;
    int writes = 0;
};

TEST_F(Folding, ReplacesAllTwelveLettersOneForOne) {
    EXPECT_EQ(fold(u"ŞÖÜİĞÇ şöüığç"_s), u"SOUIGC souigc"_s);
    EXPECT_EQ(writes, 12); // one write per row that changed something
}

TEST_F(Folding, DottedCapitalAndDotlessSmallBecomePlainLetters) {
    EXPECT_EQ(fold(u"İSTANBUL IŞIK ılık"_s), u"ISTANBUL ISIK ilik"_s);
    EXPECT_EQ(writes, 3);
}

TEST_F(Folding, LeavesOtherLettersAlone) {
    EXPECT_EQ(fold(u"kâğıt hâlâ îman ûmit Â é ß"_s), u"kâgit hâlâ îman ûmit Â é ß"_s);
    EXPECT_EQ(writes, 2);
}

TEST_F(Folding, TextWithoutTurkishLettersIsNotWrittenBack) {
    EXPECT_EQ(fold(u"Merhaba dunya\nikinci satir"_s), u"Merhaba dunya\nikinci satir"_s);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(fold(QString()), QString());
    EXPECT_EQ(writes, 0);
}

TEST_F(Folding, KeepsTheCount) {
    const QString text = u"Günaydın\nÇağrı"_s;
    const int before = messageLength(text);
    EXPECT_EQ(messageLength(fold(text)), before);
}

} // namespace
