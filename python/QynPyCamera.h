#pragma once

#include "QynVideo.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <QString>

#include <memory>

class QynPyFrameStream;

// qyn.Camera: a video configuration's camera for a script, opened once. grab() takes a
// frame through QynVideo's Grab into a buffer the returned array then owns (the Grab's
// one copy, no other). frames() lets the frame tap stream every frame instead; while a
// stream runs it holds the camera and grab() refuses, and the next grab() after it
// opens the device again.
class QynPyCamera {
public:
    explicit QynPyCamera(const QString& configPath);
    ~QynPyCamera();

    pybind11::array grab();
    std::shared_ptr<QynPyFrameStream> frames(int queue);
    void close();

    static void registerIn(pybind11::module_& module);

private:
    void failIfStreaming() const;
    void check(std::int32_t code);

    QString configPath_;
    QynVideo video_;
    bool closed_ = false;
    std::weak_ptr<QynPyFrameStream> stream_;
};
