#include "cli/Output.h"

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace {

// Whether a write failed because the reader closed the pipe. Windows' C library tells that as
// EINVAL; the system as ERROR_NO_DATA or ERROR_BROKEN_PIPE.
bool readerClosed(std::FILE *stream, int error)
{
    if (error == EPIPE)
        return true;
#ifdef Q_OS_WIN
    const DWORD systemError = GetLastError();
    if (systemError == ERROR_NO_DATA || systemError == ERROR_BROKEN_PIPE)
        return true;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return error == EINVAL && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_PIPE;
#else
    Q_UNUSED(stream);
    return false;
#endif
}

} // namespace

Output::Output(std::FILE *stream)
    : stream(stream)
{
    pending.reserve(blockSize + (blockSize >> 2));
}

Output::Output() = default;

Output::~Output()
{
    flush();
}

bool Output::isTerminal() const
{
#ifdef Q_OS_UNIX
    return stream && ::isatty(::fileno(stream));
#else
    return false;
#endif
}

void Output::flush()
{
    if (!stream)
        return;
    if (!failed && !pending.isEmpty()) {
        errno = 0;
        const size_t count = std::fwrite(pending.constData(), 1, size_t(pending.size()), stream);
        if (count != size_t(pending.size()) || std::fflush(stream) != 0) {
            const int error = errno;
            failed = true;
            gone = readerClosed(stream, error);
            reason = QString::fromLocal8Bit(std::strerror(error));
        }
    }
    pending.resize(0); // the reserved block stays for the next one
}
