#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

class QFile;

// A file opened for reading only when it is a regular file that can be read. Anything else (a
// directory, a FIFO, a device, a socket, a name that is not there) is refused without blocking. The
// file is closed with the object.
class RegularFile
{
public:
    // fileName is in the file system's own encoding, as ReferenceList::load receives it.
    explicit RegularFile(const QByteArray &fileName);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    bool isOpen() const;
    // The size seen when the file was opened: a hint, as the file may still grow or shrink.
    qint64 size() const;
    // The bytes read into buffer, 0 at the end of the file, -1 on a read error.
    qint64 read(char *buffer, qint64 capacity);

private:
#ifdef Q_OS_UNIX
    int descriptor = -1;
#else
    std::unique_ptr<QFile> file;
#endif
    qint64 sizeAtOpen = 0;
};
