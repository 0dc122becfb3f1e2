#pragma once

#include "QynFrameListeners.h"
#include "QynRecorder.h"

#include <QString>

#include <optional>

// A recording of an open video's frames: a QynRecorder fed by a listener on the video's
// own pipeline (QynVideo::frameListeners()), so the camera's one connection is shared
// with Grab and a live view, whether the live view runs or not. It ends at its frame
// limit or time, on a write failure, or when stopped; stopping writes the frames held
// in memory first. The listeners must outlive it.
class QynVideoRecording {
public:
    QynVideoRecording(QynFrameListeners& listeners, QynRecordSettings settings, std::optional<double> seconds = {});
    ~QynVideoRecording();  // stops as stop() does
    QynVideoRecording(const QynVideoRecording&) = delete;
    QynVideoRecording& operator=(const QynVideoRecording&) = delete;

    // Prepares the folder and starts taking frames; an empty text or why it cannot start.
    QString start();
    // The recording has come to its end by itself (its frames, its time, a failure):
    // stop() completes it.
    bool finished() const;
    // Takes no more frames, writes those in memory and completes the index; the failure
    // that ended the recording, or an empty text. Harmless when called again.
    QString stop();
    bool running() const { return listening_; }

    QynRecordStatus status() const { return recorder_.status(); }
    const QynRecordSettings& settings() const { return recorder_.settings(); }

private:
    QynFrameListeners& listeners_;
    QynRecorder recorder_;
    std::optional<double> seconds_;
    QynFrameListeners::Id id_ = 0;
    bool listening_ = false;
};
