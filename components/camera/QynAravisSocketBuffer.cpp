#include "QynAravisSocketBuffer.h"

#include <arv.h>

#include <algorithm>
#include <mutex>

namespace qyn::aravis {

void sizeSocketBuffersToFrames()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // The class stays referenced for the life of the process, and with it the default.
        auto* streams = static_cast<GObjectClass*>(g_type_class_ref(ARV_TYPE_GV_STREAM));
        // The fixed policy with a size above any frame: the kernel cuts it to
        // net.core.rmem_max. (The automatic policy sizes the buffer to the frame too, but
        // with it the simulated camera's software-triggered frames stopped arriving.)
        GParamSpec* property = g_object_class_find_property(streams, "socket-buffer-size");
        if (property && G_IS_PARAM_SPEC_INT(property) && (property->flags & G_PARAM_CONSTRUCT))
            G_PARAM_SPEC_INT(property)->default_value = std::min(G_PARAM_SPEC_INT(property)->maximum, 64 << 20);
    });
}

}  // namespace qyn::aravis
