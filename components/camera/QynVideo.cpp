#include "QynVideo.h"

#include "QynArgs.h"
#include "QynCapturePipeline.h"
#include "QynImage.h"
#include "QynVideoConfig.h"

#include <QDebug>

QynVideo::QynVideo(const QynStoredSettings&) {}

QynVideo::~QynVideo()
{
    closeDevice();
}

void QynVideo::releaseInBackground()
{
    // Stopping a pipeline whose camera is gone waits on the camera's protocol timeouts
    // (seconds); the Grab that builds a new one need not wait for that.
    if (capture_)
        releasing_.emplace_back([old = std::move(capture_)]() mutable { old.reset(); });
}

void QynVideo::finishReleasing()
{
    for (std::thread& thread : releasing_)
        thread.join();
    releasing_.clear();
}

QynCallResult QynVideo::invoke(std::int32_t dispId, QynCallKind kind,
                               std::span<const QynVariant> args) noexcept
{
    const auto badArgs = [this](QynStatus status) -> QynCallResult {
        finish(BadArgument, QStringLiteral("malformed arguments: %1").arg(qynStatusText(status)));
        return {status, {}};
    };
    try {
        if (dispId == ConfigFilePath) {
            if (kind != QynCallKind::PropertyPut)
                return {QynStatus::UnknownMember, {}};
            QynArgs in(args, 1);
            const QString path = in.string(0);
            if (!in.ok())
                return badArgs(in.status());
            setConfigFilePath(path);
            return {};
        }
        if (kind != QynCallKind::Method)
            return {QynStatus::UnknownMember, {}};
        switch (dispId) {
        case OpenDevice:
        case CloseDevice: {
            QynArgs in(args, 0);
            if (!in.ok())
                return badArgs(in.status());
            dispId == OpenDevice ? openDevice() : closeDevice();
            return {};
        }
        case PrepareImage:
        case Grab: {
            QynArgs in(args, 1);
            QynImage* slot = in.image(0);
            if (!in.ok())
                return badArgs(in.status());
            dispId == Grab ? grab(*slot) : prepareImage(*slot);
            return {};
        }
        case GetLastResult: {
            QynArgs in(args, 1);
            std::int32_t* out = in.int32Out(0);
            if (!in.ok())
                return {in.status(), {}};  // keeps the code it was asked for
            *out = lastResult_;
            return {};
        }
        default: return {QynStatus::UnknownMember, {}};
        }
    } catch (...) {
        // Nothing above is expected to throw; never let it cross the calling convention.
        return {QynStatus::Failed, {}};
    }
}

void QynVideo::setConfigFilePath(const QString& path)
{
    configPath_ = path;
    finish(Success);
}

std::int32_t QynVideo::finish(std::int32_t code, const QString& text)
{
    lastResult_ = code;
    lastErrorText_ = code == Success ? QString() : text;
    if (code != Success)
        qWarning().noquote() << "QynVideo:" << code << lastErrorText_;
    return code;
}

std::int32_t QynVideo::openDevice() noexcept
{
    capture_.reset();  // opening again starts afresh from the file
    config_.reset();
    const QynVideoConfigResult read = qyn::readVideoConfig(configPath_);
    if (!read.ok())
        return finish(read.problem == QynVideoConfigResult::Problem::File ? ConfigFileMissing
                                                                          : ConfigInvalid,
                      read.message);
    QynCapturePipeline::Outcome outcome;
    capture_ = QynCapturePipeline::open(read.config, outcome, listeners_);
    if (capture_) {
        config_ = std::make_unique<QynVideoConfig>(read.config);
        width_ = capture_->width();
        height_ = capture_->height();
    }
    return finish(outcome.code, outcome.text);
}

std::int32_t QynVideo::closeDevice() noexcept
{
    capture_.reset();
    config_.reset();
    finishReleasing();
    return finish(Success);
}

std::int32_t QynVideo::prepareImage(QynImage& slot) noexcept
{
    if (!config_)
        return finish(NotOpen, QStringLiteral("no video device is open"));
    slot.setFormat(width_, height_, config_->format);
    return finish(Success);
}

std::int32_t QynVideo::grab(QynImage& slot) noexcept
{
    if (!config_)
        return finish(NotOpen, QStringLiteral("no video device is open"));
    QString text;
    if (const std::int32_t code = rebuildIfFailed(text, false); code != Success)
        return finish(code, text);
    std::shared_ptr<QynPixelBuffer> frame;
    const QynCapturePipeline::Outcome outcome = capture_->grab(frame);
    if (outcome.ok())
        slot.assign(std::move(frame));
    return finish(outcome.code, outcome.text);
}

std::int32_t QynVideo::rebuildIfFailed(QString& text, bool evenEnded)
{
    if (capture_ && !(evenEnded ? capture_->stopped() : capture_->failed()))
        return Success;
    releaseInBackground();
    QynCapturePipeline::Outcome outcome;
    capture_ = QynCapturePipeline::open(*config_, outcome, listeners_);
    if (!capture_) {
        text = outcome.text;
        return outcome.code;
    }
    width_ = capture_->width();
    height_ = capture_->height();
    return Success;
}

std::int32_t QynVideo::resumeStreaming(QString* text) noexcept
{
    QString reason;
    const std::int32_t code = config_ ? rebuildIfFailed(reason, true) : std::int32_t(NotOpen);
    if (text)
        *text = config_ ? reason : QStringLiteral("no video device is open");
    return code;
}

std::optional<qint64> QynVideo::runningTimeNow() const
{
    return capture_ ? capture_->runningTimeNow() : std::nullopt;
}

std::optional<qint64> QynVideo::lastFrameRunningTime() const
{
    return capture_ ? capture_->lastFrameRunningTime() : std::nullopt;
}
