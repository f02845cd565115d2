#include "cli/Interrupt.h"

#include <QMetaObject>
#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

Interrupt *current = nullptr;

#ifdef Q_OS_WIN
// Runs on a thread of its own that the console starts: the event loop hears of it through a queued call.
BOOL WINAPI consoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    Interrupt *interrupt = current;
    if (!interrupt)
        return FALSE;
    SetConsoleCtrlHandler(consoleControl, FALSE);
    QMetaObject::invokeMethod(interrupt, "interrupted", Qt::QueuedConnection);
    return TRUE;
}
#elif defined(Q_OS_UNIX)
// The signal handler may only write to a pipe; the event loop reads it.
int selfPipe[2] = {-1, -1};
struct sigaction previous[2];

void signalled(int number)
{
    const char byte = 1;
    const ssize_t written = write(selfPipe[1], &byte, 1);
    (void)written;
    std::signal(number, SIG_DFL);
}
#endif

} // namespace

Interrupt::Interrupt()
{
    current = this;
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(consoleControl, TRUE);
#elif defined(Q_OS_UNIX)
    if (pipe(selfPipe) != 0)
        return;
    fcntl(selfPipe[1], F_SETFL, O_NONBLOCK);
    notifier = std::make_unique<QSocketNotifier>(selfPipe[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte;
        if (read(selfPipe[0], &byte, 1) == 1)
            emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = signalled;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous[0]);
    sigaction(SIGTERM, &action, &previous[1]);
#endif
}

Interrupt::~Interrupt()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(consoleControl, FALSE);
#elif defined(Q_OS_UNIX)
    if (notifier) {
        sigaction(SIGINT, &previous[0], nullptr);
        sigaction(SIGTERM, &previous[1], nullptr);
        notifier.reset();
        close(selfPipe[0]);
        close(selfPipe[1]);
    }
#endif
    current = nullptr;
}
