#include "QynPyFrameStream.h"

#include "QynPyArrays.h"
#include "QynPyError.h"
#include "QynVideoResult.h"

#include <chrono>
#include <cstring>

namespace py = pybind11;

QynPyFrameStream::QynPyFrameStream(const QynVideoConfig& config, int capacity)
    : capacity_(capacity), timeoutMs_(config.timeoutMs)
{
    if (capacity < 1)
        throw QynPyError(QynVideoResult::BadArgument, "the queue must hold at least one frame");
    QynFrameTap::Outcome outcome;
    {
        py::gil_scoped_release released;
        tap_ = QynFrameTap::open(config, [this](const QynFrameTap::Frame& frame) { push(frame); }, outcome);
    }
    if (!tap_)
        throw QynPyError(outcome.code, outcome.text);
}

QynPyFrameStream::~QynPyFrameStream()
{
    tap_.reset();
}

void QynPyFrameStream::push(const QynFrameTap::Frame& frame)
{
    // On the streaming thread: no Python here.
    std::shared_ptr<QynPixelBuffer> pixels;
    try {
        pixels = std::make_shared<QynPixelBuffer>(frame.width, frame.height, frame.format);
    } catch (const std::bad_alloc&) {
        const std::lock_guard lock(mutex_);
        ++dropped_;
        return;
    }
    const auto rowBytes = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(qynBytesPerPixel(frame.format));
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(pixels->row(y), frame.data + y * frame.stride, rowBytes);
    {
        const std::lock_guard lock(mutex_);
        if (static_cast<int>(waiting_.size()) >= capacity_) {
            waiting_.pop_front();
            ++dropped_;
        }
        waiting_.push_back(std::move(pixels));
    }
    arrived_.notify_one();
}

py::array QynPyFrameStream::next()
{
    std::shared_ptr<QynPixelBuffer> frame;
    QynFrameTap::Outcome failure;
    {
        py::gil_scoped_release released;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
        std::unique_lock lock(mutex_);
        // Wakes now and then to look at the pipeline's state: a failure sends no frame.
        while (!frame && tap_) {
            if (!waiting_.empty()) {
                frame = std::move(waiting_.front());
                waiting_.pop_front();
                break;
            }
            std::shared_ptr<QynFrameTap> tap = tap_;
            lock.unlock();
            {
                const std::lock_guard looking(stateMutex_);
                failure = tap->state();
            }
            tap.reset();  // unlocked: when stop() came meanwhile, this stops the pipeline
            lock.lock();
            if (!failure.ok())
                break;
            if (std::chrono::steady_clock::now() >= deadline) {
                failure = {QynVideoResult::Timeout, QStringLiteral("no frame within %1 ms").arg(timeoutMs_)};
                break;
            }
            arrived_.wait_for(lock, std::chrono::milliseconds(20));
        }
    }
    if (frame)
        return QynPyArrays::arrayOf(std::move(frame));
    if (!running() || failure.code == QynVideoResult::EndOfStream)
        throw py::stop_iteration();
    throw QynPyError(failure.code, failure.text);
}

void QynPyFrameStream::stop()
{
    std::shared_ptr<QynFrameTap> tap;
    {
        const std::lock_guard lock(mutex_);
        tap = std::move(tap_);
    }
    py::gil_scoped_release released;
    tap.reset();  // no frame arrives after this
}

bool QynPyFrameStream::running() const
{
    const std::lock_guard lock(mutex_);
    return tap_ != nullptr;
}

std::uint64_t QynPyFrameStream::dropped() const
{
    const std::lock_guard lock(mutex_);
    return dropped_;
}

void QynPyFrameStream::registerIn(py::module_& module)
{
    py::class_<QynPyFrameStream, std::shared_ptr<QynPyFrameStream>>(
        module, "FrameStream",
        "Live frames of a camera, from Camera.frames() or iter(camera): each a fresh array that\n"
        "owns its frame. Frames wait in a queue of the size frames() was given; when the loop\n"
        "falls behind, the oldest waiting frame is dropped for the newest and counted in\n"
        "`dropped`. Iteration ends when the source ends or stop() is called; a failure or no\n"
        "frame within the configuration's timeout_ms raises qyn.Error. Use it in a with block\n"
        "or call stop(): until then the stream holds the camera.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &QynPyFrameStream::next)
        .def("stop", &QynPyFrameStream::stop, "Stops the stream and lets the camera go.")
        .def_property_readonly("running", &QynPyFrameStream::running, "Whether the stream still holds the camera.")
        .def_property_readonly("dropped", &QynPyFrameStream::dropped,
                               "Frames dropped because the queue was full (the oldest go first).")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](QynPyFrameStream& self, const py::args&) { self.stop(); });
}
