#pragma once

// What SourceFile asks of the system, one file per platform: SourceFile_posix.cpp, SourceFile_win32.cpp.
// A descriptor is a C runtime file descriptor on both, since libzip opens archives from one.

#include <QString>

namespace spreadsheet::platform {

// Opens a file for reading without waiting (on a pipe, for a writer) and returns its descriptor; a name that
// stands for no regular file may be refused already. ReadError "açılamıyor: <reason>" when it cannot open.
int openFile(const QString& fileName);
// Refuses what openFile opened unless it is a regular file, with a ReadError saying what it is (a folder,
// named pipe, device or socket), and leaves the descriptor ready for reading.
void requireRegularFile(int descriptor);
void closeFile(int descriptor);
// One read of up to size bytes at offset, without moving a position that another descriptor of the file
// shares: the count read, 0 at the end. ReadError when reading fails.
qint64 readAt(int descriptor, qint64 offset, char* into, qint64 size);
// The size the file reports, or -1.
qint64 reportedSize(int descriptor);
// A descriptor of the same file that the caller owns. ReadError when none can be had.
int duplicateFile(int descriptor);

} // namespace spreadsheet::platform
