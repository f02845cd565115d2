#pragma once

#include "live/SimLink.h"
#include "live/UdpMessage.h"

#include <QHash>
#include <QHostAddress>
#include <QSet>

#include <memory>
#include <vector>

class QUdpSocket;

// A running X-Plane (10 or later, on any computer of the network) through its UDP messages: values
// asked for with RREF and answered as float32 whatever their type, written with DREF, commands
// pressed with CMND. Nothing is answered but values, so nothing can be looked up: a name the
// simulator does not know is never answered, a write or a press is never confirmed. Every value
// asked for is asked to stop (frequency 0) before the link is done with it, on every way out, or
// the simulator would keep sending. Only packets from the simulator's address are read, each
// through UdpMessage.
class UdpLink : public SimLink
{
    Q_OBJECT

public:
    // address is HOST or HOST:PORT (port 49000 when not given); empty, the first master simulator
    // whose beacon comes to beaconPort.
    UdpLink(const QString &address, quint16 beaconPort);
    ~UdpLink() override;

    // HOST[:PORT] split; false when it is not one.
    static bool splitAddress(const QString &address, QString &host, quint16 &port);

    // Values a second while watching: the web API's rate.
    static constexpr int rate = 10;
    // Requests sent before the simulator is given time to read them.
    static constexpr int batchSize = 100;
    // The longest wait for the simulator to take in a batch.
    static constexpr int batchWaitMs = 250;
    // How long a value, or a beacon, is waited for.
    static constexpr int patienceMs = 3000;
    // A dataref every X-Plane has: its answer, asked after each batch, tells that the simulator has
    // read the batch and that it is there at all.
    static const char checkName[];

    // Every beacon that comes to beaconPort within ms (negative: until stop()), with the address it
    // came from, until heard returns false. False on trouble: the port cannot be listened on.
    bool listen(qint64 ms, const std::function<bool(const QHostAddress &, const UdpMessage::Beacon &)> &heard);
    // Why the beacons sent to their multicast group may not come here; empty when the group was joined.
    QString groupProblem() const { return groupFault; }

    bool resolve(const QList<Target> &targets, std::vector<Reading> &readings) override;
    bool read(const QList<Target> &targets, std::vector<Reading> &readings) override;
    bool watch(const QList<Target> &targets, const std::vector<Reading> &readings, double seconds,
               const Changed &changed) override;
    bool write(const Target &target, const Reading &reading, const QByteArray &text) override;
    bool run(const QByteArray &command, double holdSeconds) override;

private:
    // Finds the simulator and opens the socket, once.
    bool begin();
    bool findMaster();
    bool lookUp(const QString &name);
    bool send(const QByteArray &message);
    // Asks for the values of indexes at frequency, a batch at a time.
    bool request(const std::vector<qint32> &indexes, qint32 frequency);
    // Stops every value still asked for.
    bool stopAll();
    // The index of a target's request, made when first asked for.
    qint32 indexOf(const Target &target);
    // What index asks for: a target's name, or the check.
    QByteArray nameOf(qint32 index) const;
    void readPending();
    QString silence() const;

    const QString address;
    const quint16 beaconPort;
    QHostAddress host;
    quint16 port = UdpMessage::simulatorPort;
    QString where; // HOST:PORT, for messages
    std::unique_ptr<QUdpSocket> socket;
    QString socketFault;
    QString groupFault;

    QList<QByteArray> names; // asked for, by index
    QHash<QByteArray, qint32> indexes;
    QSet<qint32> running; // asked for and not yet stopped, checks included
    qint32 nextCheck = 1 << 24;
    QSet<qint32> checksAnswered;
    bool heard = false; // something asked for was answered
    std::function<void(qint32 index, float value)> onValue;
};
