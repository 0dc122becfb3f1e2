#include "QynVideo.h"

#include "QynArgs.h"
#include "QynCapturePipeline.h"
#include "QynImage.h"
#include "QynVideoConfig.h"

#include <QDebug>
#include <QLocale>

#include <chrono>
#include <utility>

namespace {

const QString TriggerCommand = QStringLiteral("TriggerSoftware");

}  // namespace

QynVideo::QynVideo(const QynStoredSettings&) {}

QynVideo::~QynVideo()
{
    closeDevice();
}

void QynVideo::releaseInBackground()
{
    // Stopping a pipeline whose camera is gone waits on the camera's protocol timeouts
    // (seconds); the Grab that builds a new one need not wait for that.
    dropControls();
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
    dropControls();
    capture_.reset();  // opening again starts afresh from the file
    config_.reset();
    const QynVideoConfigResult read = qyn::readVideoConfig(configPath_);
    if (!read.ok())
        return finish(read.problem == QynVideoConfigResult::Problem::File ? ConfigFileMissing
                                                                          : ConfigInvalid,
                      read.message);
    QString text;
    const std::int32_t code = openCapture(read.config, text);
    if (code == Success)
        config_ = std::make_unique<QynVideoConfig>(read.config);
    return finish(code, text);
}

std::int32_t QynVideo::openCapture(const QynVideoConfig& config, QString& text)
{
    QynCapturePipeline::Outcome outcome;
    capture_ = QynCapturePipeline::open(config, outcome, listeners_);
    text = outcome.text;
    if (!capture_)
        return outcome.code;
    width_ = capture_->width();
    height_ = capture_->height();
    softwareTrigger_ = readSoftwareTrigger();
    return Success;
}

std::int32_t QynVideo::closeDevice() noexcept
{
    dropControls();
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
    QynCapturePipeline::Trigger trigger;
    if (softwareTrigger_)
        trigger = [this]() -> QynCapturePipeline::Outcome {
            QString why;
            QynCameraControls* camera = controls(&why);
            const QynControlResult sent =
                camera ? camera->execute(TriggerCommand) : QynControlResult{QynControlResult::Problem::NoSuchControl, why};
            if (sent.ok())
                return {};
            return {DeviceFailed, QStringLiteral("the software trigger failed: %1").arg(sent.message)};
        };
    std::shared_ptr<QynPixelBuffer> frame;
    const QynCapturePipeline::Outcome outcome = capture_->grab(frame, trigger);
    if (outcome.ok())
        slot.assign(std::move(frame));
    return finish(outcome.code, outcome.text);
}

QynCameraControls* QynVideo::controls(QString* why)
{
    if (why)
        *why = capture_ ? capture_->controlsWhy()
               : config_ ? QStringLiteral("the stream has stopped; the next Grab starts it again")
                         : QStringLiteral("no camera is open");
    return capture_ ? capture_->controls() : nullptr;
}

void QynVideo::dropControls()
{
    // Whoever borrowed the controls lets them go before the pipeline takes them along.
    if (capture_ && controlsGone_)
        controlsGone_();
}

QString QynVideo::source() const
{
    return config_ ? config_->source : QString();
}

std::int32_t QynVideo::restartWith(const QynCameraControls::Pending& pending)
{
    return restartTrying(pending, {});
}

std::int32_t QynVideo::restartTrying(const QynCameraControls::Pending& pending, std::chrono::steady_clock::time_point until)
{
    if (!config_)
        return finish(NotOpen, QStringLiteral("no video device is open"));
    QString what, problem;
    const QString source = sourceWith(pending, what, problem);
    if (source.isEmpty())
        return finish(ConfigInvalid, QStringLiteral("%1: %2").arg(what, problem));
    std::int32_t code = restartAs(source, what);
    while (code != Success && std::chrono::steady_clock::now() < until)
        code = restartAs(source, what);
    if (code != Success) {
        QString again;
        openCapture(*config_, again);  // as it ran; a failure here leaves it to the next Grab
    }
    return code;
}

QString QynVideo::sourceWith(const QynCameraControls::Pending& pending, QString& what, QString& problem)
{
    QStringList values;
    for (const auto& [name, value] : pending)
        values << QStringLiteral("%1=%2").arg(name, value);
    what = values.join(QLatin1Char(' '));
    QynCameraControls* camera = controls(&problem);
    return camera ? camera->sourceWith(config_->source, pending, &problem) : QString();
}

std::int32_t QynVideo::restartAs(const QString& source, const QString& what)
{
    QynVideoConfig changed = *config_;
    changed.source = source;
    // The camera takes one connection: the old pipeline lets it go before the new one opens.
    dropControls();
    capture_.reset();
    QString text;
    const std::int32_t code = openCapture(changed, text);
    if (code == Success) {
        config_->source = source;
        return finish(Success);
    }
    capture_.reset();
    return finish(code, QStringLiteral("%1: %2").arg(what, text));
}

bool QynVideo::readSoftwareTrigger()
{
    QynCameraControls* camera = controls();
    return camera && camera->read(QStringLiteral("TriggerMode")).value.toString() == QLatin1String("On")
        && camera->read(QStringLiteral("TriggerSource")).value.toString() == QLatin1String("Software")
        && !camera->read(TriggerCommand).name.isEmpty();
}

QString QynVideo::frameRateName()
{
    QynCameraControls* camera = controls();
    if (camera)
        for (const QString& name : camera->upFront())
            if (name == QLatin1String("AcquisitionFrameRate") || name == QLatin1String("AcquisitionFrameRateAbs"))
                return name;
    return {};
}

std::int32_t QynVideo::followTrigger()
{
    if (!capture_)
        return finish(Success);
    const bool armed = readSoftwareTrigger();
    if (armed == softwareTrigger_)
        return finish(Success);
    softwareTrigger_ = armed;
    const QString rate = frameRateName();
    if (rate.isEmpty())
        return finish(Success);
    QString value;
    // The trigger settings just made travel with the restart: a failed try runs the
    // previous stream again, whose description sets them back as they were.
    QynCameraControls::Pending trigger;
    for (const QString& name : {QStringLiteral("TriggerSelector"), QStringLiteral("TriggerMode"), QStringLiteral("TriggerSource")})
        if (const QynCameraControl now = controls()->read(name); !now.name.isEmpty())
            trigger.emplace_back(name, now.valueText());
    if (armed) {
        const QynCameraControl current = controls()->read(rate);
        rateBeforeTrigger_ = current.valueText();
        armedRate_ = current.floatMin > 0 ? current.floatMin : 0.1;
        value = QString::number(armedRate_, 'g', QLocale::FloatingPointShortest);
    } else {
        value = std::exchange(rateBeforeTrigger_, QString());
        // A camera may still wait for the trigger it was armed for (Aravis's simulated
        // camera does, and then never streams again): one last trigger lets it go. A
        // refusal does not matter here.
        controls()->execute(TriggerCommand);
    }
    if (value.isEmpty())
        return finish(Success);
    QynCameraControls::Pending pending{{rate, value}};
    pending.insert(pending.end(), trigger.begin(), trigger.end());
    // A camera still busy with the exposure it was last triggered for may refuse the new
    // stream once; the pipeline then runs as before, and a second try takes.
    if (armed)
        return restartWith(pending) == Success ? Success : restartWith(pending);
    // Leaving the trigger, a camera may first sleep out a period of the low rate it ran
    // at while armed (Aravis's simulated camera does, up to 10 s), sending nothing: the
    // restart is tried until that period has passed, without the armed stream between
    // the tries (starting it would set the low rate again).
    using namespace std::chrono;
    return restartTrying(pending, steady_clock::now() + duration_cast<milliseconds>(duration<double>(1.0 / armedRate_)) + seconds(2));
}

std::int32_t QynVideo::rebuildIfFailed(QString& text, bool evenEnded)
{
    if (capture_ && !(evenEnded ? capture_->stopped() : capture_->failed()))
        return Success;
    releaseInBackground();
    return openCapture(*config_, text);
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
