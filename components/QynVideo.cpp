#include "QynVideo.h"

#include "QynArgs.h"
#include "QynCapturePipeline.h"
#include "QynImage.h"
#include "QynVideoConfig.h"

#include <QDebug>

QynVideo::QynVideo(const QynStoredSettings&) {}

QynVideo::~QynVideo() = default;  // the pipeline stops with capture_

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
    const QynVideoConfigResult read = qyn::readVideoConfig(configPath_);
    if (!read.ok())
        return finish(read.problem == QynVideoConfigResult::Problem::File ? ConfigFileMissing
                                                                          : ConfigInvalid,
                      read.message);
    QynCapturePipeline::Outcome outcome;
    capture_ = QynCapturePipeline::open(read.config, outcome);
    return finish(outcome.code, outcome.text);
}

std::int32_t QynVideo::closeDevice() noexcept
{
    capture_.reset();
    return finish(Success);
}

std::int32_t QynVideo::prepareImage(QynImage& slot) noexcept
{
    if (!capture_)
        return finish(NotOpen, QStringLiteral("no video device is open"));
    const QynVideoConfig& config = capture_->config();
    slot.setFormat(config.width, config.height, config.format);
    return finish(Success);
}

std::int32_t QynVideo::grab(QynImage& slot) noexcept
{
    if (!capture_)
        return finish(NotOpen, QStringLiteral("no video device is open"));
    std::shared_ptr<QynPixelBuffer> frame;
    const QynCapturePipeline::Outcome outcome = capture_->grab(frame);
    if (outcome.ok())
        slot.assign(std::move(frame));
    return finish(outcome.code, outcome.text);
}

std::optional<qint64> QynVideo::runningTimeNow() const
{
    return capture_ ? capture_->runningTimeNow() : std::nullopt;
}

std::optional<qint64> QynVideo::lastFrameRunningTime() const
{
    return capture_ ? capture_->lastFrameRunningTime() : std::nullopt;
}
