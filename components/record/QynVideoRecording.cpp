#include "QynVideoRecording.h"

QynVideoRecording::QynVideoRecording(QynFrameListeners& listeners, QynRecordSettings settings,
                                     std::optional<double> seconds)
    : listeners_(listeners), recorder_(std::move(settings)), seconds_(seconds)
{
}

QynVideoRecording::~QynVideoRecording()
{
    stop();
}

QString QynVideoRecording::start()
{
    if (listening_)
        return QStringLiteral("the recording has started already");
    if (QString problem = recorder_.start(); !problem.isEmpty())
        return problem;
    id_ = listeners_.add([this](const QynFrameTap::Frame& frame) {
        recorder_.push({frame.data, frame.stride, frame.width, frame.height, frame.format, frame.number,
                        frame.timestampNs, frame.lostBefore});
    });
    listening_ = true;
    return {};
}

bool QynVideoRecording::finished() const
{
    const QynRecordStatus now = recorder_.status();
    return now.limitReached || now.failed || (seconds_ && now.seconds >= *seconds_);
}

QString QynVideoRecording::stop()
{
    // No frame comes after the listener has gone; then the recorder writes what it holds.
    if (listening_) {
        listeners_.remove(id_);
        listening_ = false;
    }
    return recorder_.stop();
}
