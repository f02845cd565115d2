#include "data/RegularFile.h"

#include <algorithm>

#ifdef Q_OS_WIN
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A name that the system would cut short at a NUL names another file than the one asked for.
bool isUsableName(const QByteArray &fileName)
{
    return !fileName.isEmpty() && !fileName.contains('\0');
}

} // namespace

#ifdef Q_OS_WIN

namespace {

// Windows names are UTF-16; the loader's 8-bit names are their UTF-8 form. Bytes that are no
// UTF-8 cannot name a file there, so they give an empty name.
QString decodeName(const QByteArray &fileName)
{
    const QString name = QString::fromUtf8(fileName);
    return name.toUtf8() == fileName ? name : QString();
}

// What CreateFileW opens. An absolute or relative path becomes its \\?\ form, so that neither the
// length limit nor the old device names (a "NUL" or "COM1" in any folder) apply to it. A name
// already in the \\?\ or \\.\ namespace is taken as given.
std::wstring nativeName(const QString &name)
{
    if (name.startsWith(QLatin1String("\\\\?\\")) || name.startsWith(QLatin1String("\\\\.\\")))
        return name.toStdWString();
    const QString absolute = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(name).absoluteFilePath()));
    if (absolute.startsWith(QLatin1String("\\\\")))
        return (QLatin1String("\\\\?\\UNC\\") + absolute.mid(2)).toStdWString();
    return (QLatin1String("\\\\?\\") + absolute).toStdWString();
}

} // namespace

RegularFile::RegularFile(const QByteArray &fileName)
{
    const QString name = isUsableName(fileName) ? decodeName(fileName) : QString();
    if (name.isEmpty())
        return;
    // Shared for writing and deletion, so the simulator can rewrite its list while it is read. If
    // the name is a pipe, its server may learn who asks but never act in the user's name.
    HANDLE file = ::CreateFileW(
        nativeName(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
        nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    // A directory does not open without backup semantics; pipes, consoles and devices such as NUL
    // or COM1 open, and are told apart by what was opened, not by their names.
    BY_HANDLE_FILE_INFORMATION information;
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &information)
        || (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
        ::CloseHandle(file);
        return;
    }
    handle = file;
    stamp(&opened);
}

bool RegularFile::stamp(Stamp *now) const
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!handle || !::GetFileInformationByHandle(handle, &information))
        return false;
    now->size = qint64((quint64(information.nFileSizeHigh) << 32) | information.nFileSizeLow);
    now->modified = qint64((quint64(information.ftLastWriteTime.dwHighDateTime) << 32)
                           | information.ftLastWriteTime.dwLowDateTime);
    return true;
}

RegularFile::~RegularFile()
{
    if (handle)
        ::CloseHandle(handle);
}

bool RegularFile::isOpen() const
{
    return handle != nullptr;
}

qint64 RegularFile::read(char *buffer, qint64 capacity)
{
    if (!handle || capacity < 0)
        return -1;
    // One call reads at most what a DWORD counts.
    const DWORD wanted = DWORD(std::min<qint64>(capacity, qint64(1) << 30));
    DWORD count = 0;
    if (!::ReadFile(handle, buffer, wanted, &count, nullptr))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return qint64(count);
}

#elif defined(Q_OS_UNIX)

RegularFile::RegularFile(const QByteArray &fileName)
{
    if (!isUsableName(fileName))
        return;
    // Opened without blocking so that a FIFO or a device cannot hang the program; what is opened
    // is then checked, not the name, so nothing can be swapped in between.
    const int file = ::open(fileName.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return;
    struct stat status;
    if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(file);
        return;
    }
    const int flags = ::fcntl(file, F_GETFL);
    if (flags != -1)
        ::fcntl(file, F_SETFL, flags & ~O_NONBLOCK);
    fd = file;
    stamp(&opened);
}

bool RegularFile::stamp(Stamp *now) const
{
    struct stat status;
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return false;
    now->size = qint64(status.st_size);
    now->modified = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return true;
}

RegularFile::~RegularFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool RegularFile::isOpen() const
{
    return fd >= 0;
}

qint64 RegularFile::read(char *buffer, qint64 capacity)
{
    if (fd < 0 || capacity < 0)
        return -1;
    for (;;) {
        const ssize_t count = ::read(fd, buffer, size_t(capacity));
        if (count >= 0)
            return qint64(count);
        if (errno != EINTR)
            return -1;
    }
}

#else
#error "RegularFile knows the files of Windows and of Unix systems only"
#endif

qint64 RegularFile::size() const
{
    return opened.size;
}

bool RegularFile::changed() const
{
    Stamp now;
    return !stamp(&now) || now.size != opened.size || now.modified != opened.modified;
}
