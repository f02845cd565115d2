#pragma once

#include "live/SimValue.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QEventLoop;

// A running simulator, reached one way or another: what the command line asks of it, whatever
// carries the asking. Every call is bounded in time and runs a local event loop, so the caller needs
// an application object but no loop of its own. A call that fails returns false and leaves one line
// in error() that tells a person what to do.
class SimLink : public QObject
{
    Q_OBJECT

public:
    // A dataref as a person names it: NAME, or NAME[INDEX] for one element of an array.
    struct Target
    {
        QByteArray given;
        QByteArray path;
        int index = -1;
    };
    static Target target(const QByteArray &given);

    // What the simulator knows of a target. A reading with a problem cannot be read or written:
    // an unknown name, an index past the array's end, a type this program does not know.
    struct Reading
    {
        SimValue::Type type = SimValue::Other;
        SimValue value;
        QString problem;
    };
    // Called with a target's number and its value; returning false ends the watch.
    using Changed = std::function<bool(int target, const SimValue &value)>;

    // Finds the targets in the simulator: their types, or their problems.
    virtual bool resolve(const QList<Target> &targets, std::vector<Reading> &readings) = 0;
    // The current value of every resolved target without a problem.
    virtual bool read(const QList<Target> &targets, std::vector<Reading> &readings) = 0;
    // The value of every resolved target, then each change as it arrives, until seconds have passed
    // (never when negative), stop() is called or changed returns false.
    virtual bool watch(const QList<Target> &targets, const std::vector<Reading> &readings, double seconds,
                       const Changed &changed)
        = 0;
    // Writes a value typed as text to a resolved target; a read-only dataref, or a value of the wrong
    // kind or count, is refused before anything is written.
    virtual bool write(const Target &target, const Reading &reading, const QByteArray &text) = 0;
    // Presses a command and releases it, at once or after holdSeconds; stop() releases it early.
    virtual bool run(const QByteArray &command, double holdSeconds) = 0;

    QString error() const { return lastError; }

public slots:
    // Ends a watch or a hold as its end would. Queued from a signal handler it is safe anywhere.
    void stop();

signals:
    void stopRequested();
    // A target whose value did not come within the link's patience while it is watched: over UDP
    // a name the simulator does not know is never answered. A value may still come later.
    void unanswered(int target);

protected:
    bool fail(const QString &message);
    // Runs the event loop until done() holds, ms pass (never when negative) or, when stoppable,
    // stop() is called; wake() has done() asked again. True when done() held.
    bool runUntil(const std::function<bool()> &done, qint64 ms, bool stoppable);
    void wake();

    bool stopped = false;
    QString lastError;

private:
    QEventLoop *loop = nullptr; // the running wait
};
