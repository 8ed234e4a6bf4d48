#pragma once

// The text of a message as the SMS encoder takes it: one code point per character the user sees,
// each line break one LF.
//
// The window reports a line break as "\n"; pasted text may carry "\r\n", a lone "\r" or the
// Unicode line and paragraph separators. Each of them is one line break, and an SMS carries it as
// one LF (0x0A in the GSM alphabets, U+000A in UCS-2), which phones show as a new line: a CR LF
// pair would take two characters of the message and some phones show the CR as a second break.
// A surrogate that is not half of a pair, and any value that is no Unicode character, becomes
// U+FFFD, the replacement character, as the text box shows it.

#include <string>
#include <string_view>

std::u32string smsCharacters(std::u16string_view text);
std::u32string smsCharacters(std::u32string_view text);

// UTF-8 to and from code points, for the programs and files around the encoder. A byte sequence
// that is no UTF-8 becomes U+FFFD, one for each byte.
std::string toUtf8(std::u32string_view text);
std::u32string fromUtf8(std::string_view text);
