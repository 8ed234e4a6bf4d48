// Line rates outside the termios speed table, through the Linux termios2
// interface (BOTHER). Kept apart because its kernel header clashes with
// <termios.h>.
#pragma once

#include <cstdint>

// Sets both directions of the open terminal to `rate` bits per second.
bool SetCustomLineRate(int fd, std::int32_t rate);
// The output rate the terminal holds, in bits per second; -1 when unreadable.
std::int32_t ReadLineRate(int fd);
