#include "QynPyCamera.h"

#include "QynImage.h"
#include "QynPyArrays.h"
#include "QynPyError.h"
#include "QynPyFrameStream.h"
#include "QynPyPath.h"
#include "QynVideoConfig.h"

namespace py = pybind11;

QynPyCamera::QynPyCamera(const QString& configPath) : configPath_(configPath)
{
    video_.setConfigFilePath(configPath_);
    std::int32_t code = 0;
    {
        py::gil_scoped_release released;
        code = video_.openDevice();
    }
    check(code);
}

QynPyCamera::~QynPyCamera()
{
    py::gil_scoped_release released;
    video_.closeDevice();
}

void QynPyCamera::check(std::int32_t code)
{
    if (code != 0)
        throw QynPyError(code, video_.lastErrorText().isEmpty() ? QStringLiteral("the camera failed") : video_.lastErrorText());
}

void QynPyCamera::failIfStreaming() const
{
    if (closed_)
        throw QynPyError(QynVideoResult::NotOpen, "the camera is closed");
    if (const auto stream = stream_.lock(); stream && stream->running())
        throw QynPyError(QynVideoResult::DeviceFailed, "the camera is streaming frames: stop the stream first");
}

py::array QynPyCamera::grab()
{
    failIfStreaming();
    std::int32_t code = 0;
    std::shared_ptr<QynPixelBuffer> frame;
    {
        py::gil_scoped_release released;
        if (!video_.isOpen())
            code = video_.openDevice();  // after a stream, which had the camera
        if (code == 0) {
            QynImage slot;
            code = video_.grab(slot);
            if (code == 0)
                frame = slot.takePixels();
        }
    }
    check(code);
    return QynPyArrays::arrayOf(std::move(frame));
}

std::shared_ptr<QynPyFrameStream> QynPyCamera::frames(int queue)
{
    failIfStreaming();
    const QynVideoConfigResult read = qyn::readVideoConfig(configPath_);
    if (!read.ok())
        throw QynPyError(read.problem == QynVideoConfigResult::Problem::File ? QynVideoResult::ConfigFileMissing
                                                                             : QynVideoResult::ConfigInvalid,
                         read.message);
    {
        py::gil_scoped_release released;
        video_.closeDevice();  // the camera is opened once: the stream takes it over
    }
    auto stream = std::make_shared<QynPyFrameStream>(read.config, queue);
    stream_ = stream;
    return stream;
}

void QynPyCamera::close()
{
    if (const auto stream = stream_.lock())
        stream->stop();
    closed_ = true;
    py::gil_scoped_release released;
    video_.closeDevice();
}

void QynPyCamera::registerIn(py::module_& module)
{
    QynPyFrameStream::registerIn(module);
    py::class_<QynPyCamera>(
        module, "Camera",
        "Camera(config_path): the camera a video configuration file describes (docs/cameras.md),\n"
        "opened at once; qyn.Error (3001-3013) when it cannot be. Use it in a with block or\n"
        "call close().")
        .def(py::init([](const py::object& path) { return std::make_unique<QynPyCamera>(qynPyPath(path)); }),
             py::arg("config_path"))
        .def("grab", &QynPyCamera::grab,
             "grab() -> array\n\n"
             "A frame taken after the call began, as a fresh array that owns it: gray (h, w) or\n"
             "colour (h, w, 4) as the configuration's format says. qyn.Error on a failure or no\n"
             "frame within timeout_ms; the next grab() builds the pipeline anew.")
        .def("frames", &QynPyCamera::frames, py::arg("queue") = 4,
             "frames(queue=4) -> FrameStream\n\n"
             "Streams every frame until the stream is stopped; at most `queue` frames wait.")
        .def("__iter__", [](QynPyCamera& self) { return self.frames(4); })
        .def("close", &QynPyCamera::close, "Stops any stream and closes the camera.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](QynPyCamera& self, const py::args&) { self.close(); });
}
