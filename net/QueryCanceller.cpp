#include "net/QueryCanceller.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>

#include <utility>
#include <vector>

namespace crv_net {

namespace {

struct RunningQuery
{
    QObject *context;
    std::function<void()> cancel;
};

struct Registry
{
    QMutex mutex;
    std::vector<RunningQuery> queries;
    QCoreApplication *hookedApplication = nullptr;
    bool goingDown = false;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

bool QueryCanceller::enter(QObject *context, std::function<void()> cancel)
{
    Registry &state = registry();
    QMutexLocker locker(&state.mutex);
    QCoreApplication *application = QCoreApplication::instance();
    if (state.goingDown || !application)
        return false;
    if (state.hookedApplication != application) {
        state.hookedApplication = application;
        // Runs on the GUI thread when the event loop ends.
        QObject::connect(application, &QCoreApplication::aboutToQuit, &QueryCanceller::cancelAll);
        // Runs when the application object is being destroyed, before it waits for the thread pool:
        // also covers programs that end without leaving an event loop.
        qAddPostRoutine(&QueryCanceller::applicationGoingDown);
    }
    state.queries.push_back(RunningQuery{context, std::move(cancel)});
    return true;
}

void QueryCanceller::leave(QObject *context)
{
    Registry &state = registry();
    QMutexLocker locker(&state.mutex);
    for (auto it = state.queries.begin(); it != state.queries.end(); ++it) {
        if (it->context == context) {
            state.queries.erase(it);
            return;
        }
    }
}

void QueryCanceller::cancelAll()
{
    Registry &state = registry();
    QMutexLocker locker(&state.mutex);
    // Posted, not called: each query is cancelled on its own thread. A query leaves the registry under
    // this lock before its context dies, and the context's pending events die with it.
    for (const RunningQuery &query : state.queries)
        QMetaObject::invokeMethod(query.context, query.cancel, Qt::QueuedConnection);
}

void QueryCanceller::applicationGoingDown()
{
    {
        QMutexLocker locker(&registry().mutex);
        registry().goingDown = true;
    }
    cancelAll();
}

} // namespace crv_net
