#pragma once

#include "QynCameraControls.h"

#include <QString>

#include <memory>

typedef struct _GstElement GstElement;

// The controls of a running capture's camera, over the connection its source element
// already holds: aravissrc's `camera`, v4l2src's `device-fd`. Other sources (a test
// pattern) have none, and `why` says so.
struct QynSourceControls {
    std::unique_ptr<QynCameraControls> controls;
    QString why;  // when there are none

    // Looks for the source in a started pipeline or bin, recursively.
    static QynSourceControls of(GstElement* pipeline);
};
