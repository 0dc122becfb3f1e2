#include "QynAravisCameras.h"

namespace qyn::aravis {

std::vector<SourceCamera> camerasOf(GstElement* pipeline)
{
    std::vector<SourceCamera> cameras;
    for (qyn::gst::ElementPtr& source : qyn::gst::elementsMadeBy(pipeline, "aravissrc")) {
        ArvCamera* camera = nullptr;
        g_object_get(source.get(), "camera", &camera, nullptr);
        if (!camera)
            continue;
        SourceCamera found{std::move(source), std::unique_ptr<ArvCamera, CameraUnref>(camera), nullptr};
        found.device = arv_camera_get_device(camera);
        cameras.push_back(std::move(found));
    }
    return cameras;
}

}  // namespace qyn::aravis
