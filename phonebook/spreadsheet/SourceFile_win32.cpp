#include "Sheet.h"
#include "SourceFilePlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace spreadsheet::platform {
namespace {

[[noreturn]] void fail(const QString& what, DWORD error) {
    throw ReadError(what + qt_error_string(static_cast<int>(error)));
}

HANDLE handleOf(int descriptor) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
}

// The C runtime takes the handle over; libzip reads archives through a descriptor.
int adopt(HANDLE handle) {
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        ::CloseHandle(handle);
        throw ReadError(QStringLiteral("açılamıyor: ") + QString::fromLocal8Bit(std::strerror(errno)));
    }
    return descriptor;
}

} // namespace

int openFile(const QString& fileName) {
    // The name as UTF-16: the ANSI code page cannot name every file.
    const auto* path = reinterpret_cast<const wchar_t*>(fileName.utf16());
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw ReadError(QStringLiteral("bir klasör, dosya değil"));
    }
    // A spreadsheet program may hold the file open, even for writing; reading it is still allowed.
    HANDLE handle = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail(QStringLiteral("açılamıyor: "), ::GetLastError());
    }
    return adopt(handle);
}

void requireRegularFile(int descriptor) {
    const DWORD type = ::GetFileType(handleOf(descriptor));
    if (type != FILE_TYPE_DISK) {
        if (type == FILE_TYPE_PIPE) {
            throw ReadError(QStringLiteral("adlandırılmış bir boru, dosya değil"));
        }
        if (type == FILE_TYPE_CHAR) {
            throw ReadError(QStringLiteral("bir aygıt, dosya değil"));
        }
        throw ReadError(QStringLiteral("sıradan bir dosya değil"));
    }
}

void closeFile(int descriptor) {
    ::_close(descriptor);
}

qint64 readAt(int descriptor, qint64 offset, char* into, qint64 size) {
    // The offset goes in an OVERLAPPED. On this synchronous handle the read also moves the handle's
    // position, which is why a duplicate is a handle of its own (duplicateFile).
    OVERLAPPED at{};
    const auto position = static_cast<quint64>(offset);
    at.Offset = static_cast<DWORD>(position & 0xffffffffU);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const auto piece = static_cast<DWORD>(std::min<qint64>(size, qint64{1} << 30));
    DWORD count = 0;
    if (!::ReadFile(handleOf(descriptor), into, piece, &count, &at)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF) {
            return 0;
        }
        fail(QStringLiteral("okunamıyor: "), error);
    }
    return count;
}

qint64 reportedSize(int descriptor) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(handleOf(descriptor), &size) ? size.QuadPart : -1;
}

int duplicateFile(int descriptor) {
    // A handle with a position of its own, so that libzip's reads and readAt do not move each other's.
    HANDLE copy = ::ReOpenFile(handleOf(descriptor), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (copy == INVALID_HANDLE_VALUE) {
        fail(QStringLiteral("açılamıyor: "), ::GetLastError());
    }
    return adopt(copy);
}

} // namespace spreadsheet::platform
