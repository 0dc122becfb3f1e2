#include "QynAravisSocketBuffer.h"

#include "QynAravisCameras.h"
#include "QynGst.h"

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

void receiveLoopbackCamerasBySocket(GstElement* pipeline)
{
    for (const SourceCamera& source : camerasOf(pipeline)) {
        if (!ARV_IS_GV_DEVICE(source.device))
            continue;
        ArvGvDevice* device = ARV_GV_DEVICE(source.device);
        GSocketAddress* address = arv_gv_device_get_device_address(device);  // borrowed
        if (G_IS_INET_SOCKET_ADDRESS(address)
            && g_inet_address_get_is_loopback(g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(address))))
            arv_gv_device_set_stream_options(
                device, ArvGvStreamOption(arv_gv_device_get_stream_options(device) | ARV_GV_STREAM_OPTION_PACKET_SOCKET_DISABLED));
    }
}

}  // namespace qyn::aravis
