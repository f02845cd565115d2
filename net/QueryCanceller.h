#pragma once

#include <functional>

class QObject;

namespace crv_net {

// Keeps the running update queries of the process, so that the application going down (the event
// loop quitting, or the application object being destroyed) cancels them at once instead of making
// the process wait out their time limits. The application object waits for the global thread pool
// before it is gone, and a query may be running there.
class QueryCanceller
{
public:
    // Registers a running query. cancel is posted to context's thread, where the query's local event
    // loop runs. Returns false when the application is already gone or going down; the query must
    // then not start.
    static bool enter(QObject *context, std::function<void()> cancel);

    // Unregisters the query before its context is destroyed.
    static void leave(QObject *context);

private:
    static void cancelAll();
    static void applicationGoingDown();
};

} // namespace crv_net
