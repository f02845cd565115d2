#pragma once

#include <functional>

class QObject;

namespace crv_net {

// Keeps the running update queries of the process, so that the application going down (the event
// loop quitting, or the application object being destroyed) cancels them at once instead of making
// the process wait out their time limits. The application object waits for the global thread pool
// when it is destroyed, and a query may be running there.
class QueryCanceller
{
public:
    // A query begins; returns false when the application is gone or going down, and the query must
    // then not start. Every true is matched by one end().
    static bool begin();
    static void end();

    // While armed, cancel is posted to context's thread, where the query's local event loop runs.
    // Returns false when the application is going down. Disarm before context or cancel's captures die.
    static bool arm(QObject *context, std::function<void()> cancel);
    static void disarm(QObject *context);

private:
    static void cancelAll();
    static void applicationGoingDown();
};

} // namespace crv_net
