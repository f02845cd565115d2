#include "data/RegularFile.h"

#ifdef Q_OS_UNIX
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#include <QFileInfo>
#endif

#ifdef Q_OS_UNIX

RegularFile::RegularFile(const QByteArray &fileName)
{
    if (fileName.isEmpty() || fileName.contains('\0'))
        return;
    // Opened without blocking so that a FIFO or a device cannot hang the program; what is opened is
    // then checked, not the name, so nothing can be swapped in between.
    const int fd = ::open(fileName.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    descriptor = fd;
    sizeAtOpen = qint64(status.st_size);
}

RegularFile::~RegularFile()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

bool RegularFile::isOpen() const
{
    return descriptor >= 0;
}

qint64 RegularFile::read(char *buffer, qint64 capacity)
{
    if (descriptor < 0)
        return -1;
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, size_t(capacity));
        if (count >= 0)
            return qint64(count);
        if (errno != EINTR)
            return -1;
    }
}

#else

RegularFile::RegularFile(const QByteArray &fileName)
{
    if (fileName.isEmpty() || fileName.contains('\0'))
        return;
    const QString name = QFile::decodeName(fileName);
    if (!QFileInfo(name).isFile())
        return;
    auto opened = std::make_unique<QFile>(name);
    if (!opened->open(QIODevice::ReadOnly))
        return;
    sizeAtOpen = opened->size();
    file = std::move(opened);
}

RegularFile::~RegularFile() = default;

bool RegularFile::isOpen() const
{
    return file != nullptr;
}

qint64 RegularFile::read(char *buffer, qint64 capacity)
{
    return file ? file->read(buffer, capacity) : -1;
}

#endif

qint64 RegularFile::size() const
{
    return sizeAtOpen;
}
