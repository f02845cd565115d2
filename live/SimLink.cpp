#include "live/SimLink.h"

#include <algorithm>

SimLink::Target SimLink::target(const QByteArray &given)
{
    Target target;
    target.given = given;
    target.path = given;
    const int open = given.lastIndexOf('[');
    if (open > 0 && given.endsWith(']')) {
        const QByteArray digits = given.mid(open + 1, given.size() - open - 2);
        const bool allDigits = !digits.isEmpty() && digits.size() <= 9
            && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (allDigits) {
            target.path = given.left(open);
            target.index = digits.toInt();
        }
    }
    return target;
}

void SimLink::stop()
{
    stopped = true;
    emit stopRequested();
}

bool SimLink::fail(const QString &message)
{
    lastError = message;
    return false;
}
