#include "QynAravisSocketBuffer.h"

#include <arv.h>

#include <mutex>

namespace qyn::aravis {

void sizeSocketBuffersToFrames()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // The class stays referenced for the life of the process, and with it the default.
        auto* streams = static_cast<GObjectClass*>(g_type_class_ref(ARV_TYPE_GV_STREAM));
        GParamSpec* spec = g_object_class_find_property(streams, "socket-buffer");
        if (spec && G_IS_PARAM_SPEC_ENUM(spec) && (spec->flags & G_PARAM_CONSTRUCT))
            G_PARAM_SPEC_ENUM(spec)->default_value = ARV_GV_STREAM_SOCKET_BUFFER_AUTO;
    });
}

}  // namespace qyn::aravis
