// Building the termios record of a POSIX serial line from the line settings.
#pragma once

#include "SerialPlatform.h"

#include <termios.h>

// Fills `tio` (read from the terminal beforehand) for raw, non-blocking reads
// with the given settings. False, with `tio` unusable, when no line can take
// them. `customRate` tells whether the rate is outside the termios table and
// must be set apart (termios2 on Linux).
bool FillTermios(const TLineSettings& settings, termios& tio, bool& customRate);
