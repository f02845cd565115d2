#include "live/SimLink.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

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

bool SimLink::runUntil(const std::function<bool()> &done, qint64 ms, bool stoppable)
{
    QEventLoop wait;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &wait, &QEventLoop::quit);
    if (stoppable)
        connect(this, &SimLink::stopRequested, &wait, &QEventLoop::quit);
    const QDeadlineTimer deadline = ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms);
    QEventLoop *outer = loop;
    loop = &wait;
    bool held = done();
    while (!held && !(stoppable && stopped) && !deadline.hasExpired()) {
        if (!deadline.isForever())
            timer.start(int(std::max<qint64>(deadline.remainingTime(), 1)));
        wait.exec();
        held = done();
    }
    loop = outer;
    return held;
}

void SimLink::wake()
{
    if (loop)
        loop->quit();
}
