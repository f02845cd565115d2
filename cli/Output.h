#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// Where the command line's output goes: a stream, written in large blocks, or bytes kept in memory.
// After a write fails nothing more is written; the caller asks ok() and stops. A reader that went
// away (the pipe to `head` closed) is no fault of the program's and is told apart from the others.
class Output
{
public:
    explicit Output(std::FILE *stream);
    // Keeps what is written, for captured().
    Output();
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // The bytes to write: append to them, then call written().
    QByteArray &buffer() { return pending; }
    // Writes the buffer out once it holds enough to be worth a system call.
    void written()
    {
        if (pending.size() >= blockSize)
            flush();
    }
    void flush();

    // Whether the stream is a terminal, which can show colours; never on Windows.
    bool isTerminal() const;
    bool ok() const { return !failed; }
    bool readerGone() const { return gone; }
    // Why a write failed, for one line on stderr.
    QString error() const { return reason; }
    const QByteArray &captured() const { return pending; }

private:
    static constexpr int blockSize = 1 << 20;

    std::FILE *stream = nullptr;
    QByteArray pending;
    bool failed = false;
    bool gone = false;
    QString reason;
};
