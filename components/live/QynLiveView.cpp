#include "QynLiveView.h"

#include "QynFrameCopy.h"

#include <mutex>
#include <new>
#include <vector>

struct QynLiveView::Shared {
    std::mutex mutex;  // guards everything below; held only briefly, never while copying
    std::unique_ptr<QynPixelBuffer> pending;
    Taken pendingInfo;
    std::vector<std::unique_ptr<QynPixelBuffer>> spare;  // buffers back from the display
    std::uint64_t frames = 0;
    std::uint64_t lost = 0;
    QynRateMeter camera;
    QynRateMeter shown;
    int width = 0;
    int height = 0;
    QynPixelFormat format = QynPixelFormat::Gray8;
    Clock::time_point last;  // the last frame's arrival, or the start

    // A buffer to copy the next frame into: a spare one, or none (the copy makes one).
    std::unique_ptr<QynPixelBuffer> spareBuffer()
    {
        const std::lock_guard lock(mutex);
        if (spare.empty())
            return nullptr;
        std::unique_ptr<QynPixelBuffer> buffer = std::move(spare.back());
        spare.pop_back();
        return buffer;
    }
    void giveBack(std::unique_ptr<QynPixelBuffer> buffer)
    {
        const std::lock_guard lock(mutex);
        if (spare.size() < 3)  // the pending one, the one on display and one being filled
            spare.push_back(std::move(buffer));
    }
};

QynLiveView::QynLiveView(QynVideo& video, std::function<void()> waiting)
    : video_(video), waiting_(std::move(waiting)), shared_(std::make_shared<Shared>())
{
}

QynLiveView::~QynLiveView()
{
    stop();
}

void QynLiveView::start()
{
    stop();
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->pending.reset();
        shared_->frames = 0;
        shared_->lost = 0;
        shared_->camera.clear();
        shared_->shown.clear();
        shared_->width = shared_->height = 0;
        shared_->last = Clock::now();
    }
    lastTry_ = Clock::now();
    id_ = video_.frameListeners().add([this](const QynFrameTap::Frame& frame) { receive(frame); });
}

void QynLiveView::stop()
{
    if (id_)
        video_.frameListeners().remove(*id_);
    id_.reset();
}

void QynLiveView::receive(const QynFrameTap::Frame& frame)
{
    const Clock::time_point arrived = Clock::now();
    std::unique_ptr<QynPixelBuffer> buffer = shared_->spareBuffer();
    bool copied = true;
    try {
        qyn::copyFrame(frame, buffer);
    } catch (const std::bad_alloc&) {
        copied = false;  // counted as received; the display keeps the frame before
    }
    bool wasEmpty = false;
    {
        const std::lock_guard lock(shared_->mutex);
        Shared& s = *shared_;
        ++s.frames;
        s.lost += frame.lostBefore;
        s.camera.record(arrived);
        s.last = arrived;
        s.width = frame.width;
        s.height = frame.height;
        s.format = frame.format;
        if (copied) {
            wasEmpty = !s.pending;
            std::swap(s.pending, buffer);  // the frame not taken in time goes back to spare
            s.pendingInfo.sequence = s.frames;
            s.pendingInfo.number = frame.number;
            s.pendingInfo.arrived = arrived;
            if (buffer && s.spare.size() < 3)
                s.spare.push_back(std::move(buffer));
        }
    }
    if (wasEmpty && waiting_)
        waiting_();
}

std::optional<QynLiveView::Taken> QynLiveView::take()
{
    std::unique_ptr<QynPixelBuffer> buffer;
    Taken taken;
    {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->pending)
            return std::nullopt;
        buffer = std::move(shared_->pending);
        taken = shared_->pendingInfo;
    }
    // The buffer comes back for a later frame once the display lets go of it.
    taken.pixels = std::shared_ptr<const QynPixelBuffer>(
        buffer.release(), [weak = std::weak_ptr<Shared>(shared_)](const QynPixelBuffer* done) {
            std::unique_ptr<QynPixelBuffer> owned(const_cast<QynPixelBuffer*>(done));
            if (const auto shared = weak.lock())
                shared->giveBack(std::move(owned));
        });
    return taken;
}

void QynLiveView::drawn(const Taken&, Clock::time_point at)
{
    const std::lock_guard lock(shared_->mutex);
    shared_->shown.record(at);
}

QynLiveView::Status QynLiveView::status(Clock::time_point now) const
{
    const std::lock_guard lock(shared_->mutex);
    const Shared& s = *shared_;
    Status status;
    status.frames = s.frames;
    status.lost = s.lost;
    status.cameraRate = s.camera.rate(now);
    status.shownRate = s.shown.rate(now);
    status.width = s.width;
    status.height = s.height;
    status.format = s.format;
    if (id_)
        status.silentFor = now - s.last;
    return status;
}

bool QynLiveView::cameraLost(Clock::time_point now) const
{
    const std::optional<Clock::duration> silent = status(now).silentFor;
    return silent && *silent > lostAfter_;
}

void QynLiveView::tend(Clock::time_point now)
{
    if (!running() || !cameraLost(now) || now - lastTry_ < lostAfter_)
        return;
    video_.resumeStreaming();
    lastTry_ = Clock::now();  // opening may have taken a while
}

QString QynLiveView::statusText(const Status& status, Clock::duration lostAfter)
{
    const QString size = status.width > 0
        ? QStringLiteral("%1 x %2 %3")
              .arg(status.width)
              .arg(status.height)
              .arg(status.format == QynPixelFormat::Gray8 ? QStringLiteral("gray") : QStringLiteral("colour"))
        : QString();
    if (status.silentFor && *status.silentFor > lostAfter) {
        const double seconds = std::chrono::duration<double>(*status.silentFor).count();
        return QStringLiteral("Live: no frame from the camera for %1 s; waiting for it%2")
            .arg(seconds, 0, 'f', 0)
            .arg(size.isEmpty() ? QString() : QStringLiteral(" (last frame %1)").arg(size));
    }
    return QStringLiteral("Live: camera %1 fps, shown %2 fps, %3 lost%4")
        .arg(status.cameraRate, 0, 'f', 1)
        .arg(status.shownRate, 0, 'f', 1)
        .arg(status.lost)
        .arg(size.isEmpty() ? QString() : QStringLiteral(", ") + size);
}
