#pragma once

#include "QynGst.h"

// GIO, which arv.h includes, names a member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <arv.h>
#pragma pop_macro("signals")

#include <memory>
#include <vector>

namespace qyn::aravis {

struct CameraUnref {
    void operator()(ArvCamera* camera) const { g_object_unref(camera); }
};

// The camera an aravissrc element of a pipeline holds, with its Aravis device (the
// camera's own: valid while the camera is held).
struct SourceCamera {
    qyn::gst::ElementPtr source;
    std::unique_ptr<ArvCamera, CameraUnref> camera;
    ArvDevice* device = nullptr;
};

// Those of every aravissrc in the pipeline that holds a camera (one that could not open
// its camera holds none), in the pipeline's order.
std::vector<SourceCamera> camerasOf(GstElement* pipeline);

}  // namespace qyn::aravis
