#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

// The UDP messages of X-Plane (every version since 10), written and read in one place: the requests
// this program sends (RREF, DREF, CMND) and the two kinds it reads (the answers to RREF, and the
// beacon by which a running simulator announces itself). Every message starts with a four-letter
// label and one byte; numbers are little-endian. Nothing a packet says is trusted: each reader
// returns false with a reason for anything but the promised shape.
class UdpMessage
{
public:
    // Where the simulator listens unless its beacon says otherwise.
    static constexpr quint16 simulatorPort = 49000;
    // Where and to whom the beacons go.
    static constexpr quint16 beaconPort = 49707;
    static const char beaconGroup[];
    // The longest name an RREF request carries (its field is 400 bytes, NUL included), and a DREF.
    static constexpr int maxRequestName = 399;
    static constexpr int maxWriteName = 499;
    // The most index and value pairs one answer holds; a packet with more is no answer of X-Plane.
    static constexpr int maxPairs = 183;
    // No message read here is longer: more is refused unread.
    static constexpr int maxPacketBytes = 1472;

    struct Beacon
    {
        int majorVersion = 0;
        int minorVersion = 0;
        int hostId = 0; // 1 X-Plane, 2 PlaneMaker
        qint32 version = 0; // 115501 for 11.55r1
        quint32 role = 0; // 1 master, 2 external visual, 3 IOS
        quint16 port = 0; // where the simulator receives UDP
        QString name; // the computer's, control characters shown as U+FFFD
    };
    enum Role { Master = 1, ExternalVisual = 2, Ios = 3 };

    // Asks for a dataref's value frequency times a second (0 stops it), answered with index; name
    // is a path, or path[i] for one element of an array, at most maxRequestName bytes.
    static QByteArray valueRequest(qint32 frequency, qint32 index, const QByteArray &name);
    // Sets a dataref (or path[i]) to a value; name at most maxWriteName bytes.
    static QByteArray writeRequest(float value, const QByteArray &name);
    // Presses and releases a command once.
    static QByteArray commandRequest(const QByteArray &command);

    // The index and value pairs of an answer to RREF.
    static bool readValues(const QByteArray &packet, std::vector<std::pair<qint32, float>> &values, QString *reason);
    static bool readBeacon(const QByteArray &packet, Beacon &beacon, QString *reason);

    // "X-Plane 11.55 (115501)": the program and its version as a person reads them.
    static QString programText(const Beacon &beacon);
    static QString roleText(quint32 role);
};
