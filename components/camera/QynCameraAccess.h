#pragma once

#include <gst/gst.h>

#include <QString>

#include <chrono>

// A GigE Vision camera takes orders from one program at a time, the one that holds its
// control channel; a program that ends without letting go (killed, crashed) keeps it
// until the camera's heartbeat timeout lapses, a few seconds. aravissrc asks for control
// once, when it opens its camera, and without it fails later with a write timeout; this
// waits for the camera to become free instead.
class QynCameraAccess {
public:
    // The longest wait, whatever heartbeat timeout the camera names.
    static constexpr std::chrono::milliseconds MostWait{5000};
    // The wait when the camera does not say (GigE Vision's default heartbeat timeout).
    static constexpr std::chrono::milliseconds UsualWait{3000};

    // For each GigE Vision camera an aravissrc of the pipeline opened without control:
    // asks for control until the camera's heartbeat timeout has passed since `since` (when
    // the opening began: aravissrc's own attempt counts), at least once. Empty when this
    // program controls every such camera (or there is none), else the reason.
    static QString takeControl(GstElement* pipeline, std::chrono::steady_clock::time_point since);
};
