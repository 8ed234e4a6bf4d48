#pragma once

// Windows code page 1254 (Turkish), byte by byte: the phone's serial line in text mode, and text cells of
// .xls files and CSV files saved by Turkish Excel. Below 0x80 it is ASCII. The seven bytes the code page
// leaves unassigned (0x81, 0x8D to 0x90, 0x9D, 0x9E) stand for the control character of the same value,
// so decoding and encoding again gives the same bytes.

namespace cp1254 {

// The character a byte stands for.
char16_t decode(unsigned char byte);
// The byte of a character, or '?' for one the code page cannot hold.
char encode(char32_t character);

} // namespace cp1254
