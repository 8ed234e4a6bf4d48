#include "phonebook/TurkishLike.h"

#include <QString>
#include <gtest/gtest.h>

namespace {

struct LikeCase {
    const char* pattern;
    const char* value;
    bool matches;
};

class TurkishLikeTest : public ::testing::TestWithParam<LikeCase> {};

TEST_P(TurkishLikeTest, MatchesAsTurkishUsersExpect) {
    const LikeCase& c = GetParam();
    EXPECT_EQ(turkishLike(QString::fromUtf8(c.pattern), QString::fromUtf8(c.value)), c.matches)
        << c.pattern << " like " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TurkishLikeTest,
    ::testing::Values(
        // Contains, in any mix of capitals and small letters.
        LikeCase{"%ank%", "Ankara", true}, LikeCase{"%ank%", "ANKARA", true},
        LikeCase{"%ank%", "Sivas", false},
        // Turkish letters against their capitals.
        LikeCase{"%şeker%", "ŞEKER", true}, LikeCase{"%ÇİĞ%", "çiğ köfte", true},
        LikeCase{"%öz%", "ÖZ", true}, LikeCase{"%Ü%", "güneş", true},
        // i, ı, I and İ are one letter to the user.
        LikeCase{"%ismail%", "İSMAİL", true}, LikeCase{"%IŞIK%", "ışık", true},
        LikeCase{"%ISIK%", "ışık", false}, LikeCase{"%yilmaz%", "Yılmaz", true},
        LikeCase{"%YILMAZ%", "yilmaz", true},
        // Letters with other marks stay apart.
        LikeCase{"%s%", "ş", false}, LikeCase{"%o%", "ö", false}, LikeCase{"%a%", "â", false},
        // Wildcards.
        LikeCase{"%", "", true}, LikeCase{"%%", "anything", true}, LikeCase{"_", "ğ", true},
        LikeCase{"_", "ab", false}, LikeCase{"%0_35%", "00535", true}, LikeCase{"a%b%c", "aXbYc", true},
        LikeCase{"a%b%c", "aXbY", false},
        // Quotes and other hostile text are plain characters.
        LikeCase{"%\"%", "a\"b", true}, LikeCase{"%'; drop table numara; --%", "x", false},
        // The characters of regular expressions are plain characters too.
        LikeCase{"%.*%", "abc", false}, LikeCase{"%.*%", "x.*y", true}, LikeCase{"%(%", "a(b", true},
        LikeCase{"[%", "[x", true}, LikeCase{"%\\%", "a\\b", true}, LikeCase{"$%^", "$x^", true},
        LikeCase{"%|%", "ab", false},
        // `_` is any one character: a line break, a character beyond 16 bits.
        LikeCase{"a_b", "a\nb", true}, LikeCase{"_", "😀", true}, LikeCase{"%😀%", "x😀y", true},
        // Empty pattern, and a last run that must reach the end past an earlier place it fits.
        LikeCase{"", "", true}, LikeCase{"", "a", false}, LikeCase{"%ab", "abab", true},
        LikeCase{"a%b", "abab", true}, LikeCase{"%ab", "abba", false},
        // Backtracking patterns finish in time and answer right.
        LikeCase{"%a%a%a%a%a%a%a%b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        LikeCase{"%a%a%a%a%a%a%a%b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", true}));

} // namespace
