#pragma once

#include <QByteArray>

// A reference file opened for reading, refused unless it is a regular file: a directory, a device,
// a pipe or a socket never opens, and opening never waits for a writer. Closed when destroyed.
class RegularFile
{
public:
    // fileName is the name ReferenceList::load receives.
    explicit RegularFile(const QByteArray &fileName);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    bool isOpen() const;
    // The size seen at open: a hint, as the file may deliver less or more.
    qint64 size() const;
    // Bytes read into buffer, 0 at end of file, -1 on a read error.
    qint64 read(char *buffer, qint64 capacity);
    // Whether the file's size or modification time differs from what they were at open, or can no
    // longer be told: another program wrote to it meanwhile.
    bool changed() const;

private:
    // What tells one state of the file from another.
    struct Stamp
    {
        qint64 size = 0;
        qint64 modified = 0; // in the system's units: nanoseconds, on Windows 100 ns ticks
    };
    bool stamp(Stamp *now) const;

#ifdef Q_OS_WIN
    void *handle = nullptr; // a HANDLE; windows.h stays out of this header
#else
    int fd = -1;
#endif
    Stamp opened;
};
