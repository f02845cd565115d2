#include "cli/Output.h"

#include <cerrno>
#include <cstring>

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

void Output::flush()
{
    if (!stream)
        return;
    if (!failed && !pending.isEmpty()) {
        errno = 0;
        const size_t count = std::fwrite(pending.constData(), 1, size_t(pending.size()), stream);
        if (count != size_t(pending.size()) || std::fflush(stream) != 0) {
            failed = true;
            gone = errno == EPIPE;
            reason = QString::fromLocal8Bit(std::strerror(errno));
        }
    }
    pending.resize(0); // the reserved block stays for the next one
}
