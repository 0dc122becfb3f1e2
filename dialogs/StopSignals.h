#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// While it lives, SIGINT and SIGTERM do not end the program at once: each emits
// received() from the event loop, so that work in progress (a recording's frames in
// memory) is completed first. The handlers there before come back when it goes. One at
// a time.
class StopSignals final : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

signals:
    void received(int signal);

private:
    static void handle(int signal);
    void readSignal();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[2] {};
};
