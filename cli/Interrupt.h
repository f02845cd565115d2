#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Tells the event loop that the user interrupted the program (Ctrl+C, or a termination request),
// so that a watch ends as its end would and a held command is released. Only one lives at a time;
// a second interrupt ends the program at once, as it would have without this.
class Interrupt : public QObject
{
    Q_OBJECT

public:
    Interrupt();
    ~Interrupt() override;

signals:
    void interrupted();

private:
#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> notifier;
#endif
};
