#pragma once

// The phone's serial line carries single bytes in code page 1254 (Turkish); the window holds Unicode.

#include <QString>
#include <string>

// A character the code page cannot hold becomes '?' (one per character, surrogate pairs included).
std::string toCp1254(const QString& text);

// Every byte has a meaning: the seven bytes the code page leaves unassigned come back as the
// control character of the same value, so decoding and encoding again gives the same bytes.
QString fromCp1254(const std::string& bytes);
