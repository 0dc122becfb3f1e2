#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <map>

// Aravis's simulated GigE Vision camera on the loopback interface, for tests that drive a
// camera over the real protocol. Only one runs at a time on a machine (they share the
// protocol's port): tests using it hold the ctest resource lock fake_gige_camera.
class FakeGigECamera {
public:
    // The reason the simulated camera cannot run here, or empty.
    static QString missing();
    // Aravis receives the stream through a raw packet socket when the process may open
    // one, and such a socket sees nothing on the loopback interface; without CAP_NET_RAW
    // it uses an ordinary one. True when the process has dropped the capability (before
    // main(): the capability belongs to each thread).
    static bool rawNetworkDropped();

    ~FakeGigECamera() { stop(); }

    QString name() const { return QStringLiteral("Aravis-Fake-") + serial_; }

    // Starts the camera with this frame size and waits until discovery lists it; false
    // after 15 s.
    bool start(int width, int height);
    void stop();

    // arv-tool-0.8's "control" over a connection of its own (so only while no pipeline
    // holds the camera): writes "Name=value" arguments, reads "Name" ones; returns the
    // values it printed by name, empty when the tool failed.
    std::map<QString, QString> control(const QStringList& arguments) const;

private:
    QString serial_ = QStringLiteral("QYNC%1").arg(QCoreApplication::applicationPid());
    QProcess process_;
};
