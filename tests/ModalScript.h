#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

// Drives modal windows (dialogs, message boxes) from inside their own event loops.
// Each step runs on the next modal window that opens. A guard closes every modal window
// still open after the time limit and fails the test, so a missed click cannot hang it.
class ModalScript : public QObject {
public:
    explicit ModalScript(int timeLimitMs = 10000);
    ~ModalScript() override;

    using Step = std::function<void(QWidget* modal)>;
    ModalScript& then(Step step);
    // True once every step has run.
    bool done() const { return steps_.empty(); }

private:
    void poll();
    void giveUp();

    std::deque<Step> steps_;
    QPointer<QWidget> lastHandled_;
    QTimer poller_;
    QTimer guard_;
};
