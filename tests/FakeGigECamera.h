#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <map>

// Aravis's simulated GigE Vision camera, for tests that drive a camera over the real
// protocol. Every test process has a loopback interface of its own (a network namespace
// entered before main()), so the simulated camera, which takes the protocol's port on
// 127.0.0.1, meets no other camera on the machine, and the code under test sees this
// one only. The camera is addressed by its address.
class FakeGigECamera {
public:
    // The camera's own frame size unless start() is given another. Small frames: a frame
    // larger than the default socket receive buffer (208 KiB) arrives in a burst that a
    // loaded machine cannot always take in time, and the frame is lost.
    static constexpr int Width = 128;
    static constexpr int Height = 96;

    // The reason the simulated camera cannot run here (a tool or element missing, no
    // network namespace to be had), or empty.
    static QString missing();
    // Aravis receives the stream through a raw packet socket when the process may open
    // one, and such a socket sees nothing on the loopback interface; without CAP_NET_RAW
    // it uses an ordinary one. True when the process has dropped the capability (before
    // main(): the capability belongs to each thread).
    static bool rawNetworkDropped();

    ~FakeGigECamera() { stop(); }

    // What a configuration's aravissrc camera-name names the camera by.
    QString name() const { return QStringLiteral("127.0.0.1"); }

    // Starts the camera with this frame size and waits until it answers at its address;
    // false after 30 s (a loaded machine starts it slowly).
    bool start(int width = Width, int height = Height);
    void stop();

    // arv-tool-0.8's "control" over a connection of its own (so only while no pipeline
    // holds the camera): writes "Name=value" arguments, reads "Name" ones; returns the
    // values it printed by name, empty when the tool failed.
    std::map<QString, QString> control(const QStringList& arguments) const;

private:
    QProcess process_;
};
