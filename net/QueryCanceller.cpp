#include "net/QueryCanceller.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QWaitCondition>

#include <utility>
#include <vector>

namespace crv_net {

namespace {

// Once the application object is being destroyed it delivers no more events, so the cancelled
// queries must be let finish first; a query stuck for another reason must not hold the exit for good.
constexpr int finishWaitMs = 3000;

struct ArmedQuery
{
    QObject *context;
    std::function<void()> cancel;
};

struct Registry
{
    QMutex mutex;
    QWaitCondition allEnded;
    std::vector<ArmedQuery> armed;
    int running = 0;
    QCoreApplication *hookedApplication = nullptr;
    bool goingDown = false;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

bool QueryCanceller::begin()
{
    Registry &state = registry();
    QCoreApplication *application = QCoreApplication::instance();
    bool hook = false;
    {
        QMutexLocker locker(&state.mutex);
        if (state.goingDown || !application)
            return false;
        hook = state.hookedApplication != application;
        state.hookedApplication = application;
        ++state.running;
    }
    // Hooked outside the lock: the application's own locks are never taken while holding it.
    if (hook) {
        // Runs on the GUI thread when the event loop ends.
        QObject::connect(application, &QCoreApplication::aboutToQuit, &QueryCanceller::cancelAll);
        // Runs when the application object is being destroyed, before it waits for the thread pool:
        // also covers programs that end without leaving an event loop.
        qAddPostRoutine(&QueryCanceller::applicationGoingDown);
    }
    return true;
}

void QueryCanceller::end()
{
    Registry &state = registry();
    QMutexLocker locker(&state.mutex);
    if (--state.running == 0)
        state.allEnded.wakeAll();
}

bool QueryCanceller::arm(QObject *context, std::function<void()> cancel)
{
    Registry &state = registry();
    QMutexLocker locker(&state.mutex);
    if (state.goingDown)
        return false;
    state.armed.push_back(ArmedQuery {context, std::move(cancel)});
    return true;
}

void QueryCanceller::disarm(QObject *context)
{
    Registry &state = registry();
    QMutexLocker locker(&state.mutex);
    for (auto it = state.armed.begin(); it != state.armed.end(); ++it) {
        if (it->context == context) {
            state.armed.erase(it);
            return;
        }
    }
}

void QueryCanceller::cancelAll()
{
    Registry &state = registry();
    QMutexLocker locker(&state.mutex);
    // Posted, not called: each query is cancelled on its own thread. A query disarms under this lock
    // before its context dies, and the context's pending events die with it.
    for (const ArmedQuery &query : state.armed)
        QMetaObject::invokeMethod(query.context, query.cancel, Qt::QueuedConnection);
}

void QueryCanceller::applicationGoingDown()
{
    Registry &state = registry();
    {
        QMutexLocker locker(&state.mutex);
        state.goingDown = true;
    }
    cancelAll();
    QMutexLocker locker(&state.mutex);
    const QDeadlineTimer deadline(finishWaitMs);
    while (state.running > 0) {
        if (!state.allEnded.wait(&state.mutex, deadline))
            break;
    }
}

} // namespace crv_net
