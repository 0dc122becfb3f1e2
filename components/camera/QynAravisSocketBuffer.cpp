#include "QynAravisSocketBuffer.h"

#include "QynAravisCameras.h"
#include "QynGst.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// An IPv4 header without options and a UDP header, around every stream packet.
constexpr int IpUdpHeaders = 20 + 8;

// The largest packet the loopback interface carries, or 0 when it cannot be read.
int loopbackMtu()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const int mtu = ::ioctl(fd, SIOCGIFMTU, &request) == 0 ? request.ifr_mtu : 0;
    ::close(fd);
    return mtu;
}

}  // namespace

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

void streamLoopbackCameras(GstElement* pipeline)
{
    for (const SourceCamera& source : camerasOf(pipeline)) {
        if (!ARV_IS_GV_DEVICE(source.device))
            continue;
        ArvGvDevice* device = ARV_GV_DEVICE(source.device);
        GSocketAddress* address = arv_gv_device_get_device_address(device);  // borrowed
        if (!G_IS_INET_SOCKET_ADDRESS(address)
            || !g_inet_address_get_is_loopback(g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(address))))
            continue;
        arv_gv_device_set_stream_options(
            device, ArvGvStreamOption(arv_gv_device_get_stream_options(device) | ARV_GV_STREAM_OPTION_PACKET_SOCKET_DISABLED));
        // The description's own packet size, or Aravis's negotiation, wins.
        gint requested = 0;
        gboolean negotiate = FALSE;
        g_object_get(source.source.get(), "packet-size", &requested, "auto-packet-size", &negotiate, nullptr);
        if (requested > 0 || negotiate)
            continue;
        const int mtu = loopbackMtu();
        if (mtu <= IpUdpHeaders)
            continue;
        GError* raw = nullptr;
        gint64 least = 0, most = 0;
        arv_camera_get_integer_bounds(source.camera.get(), "GevSCPSPacketSize", &least, &most, &raw);
        const gint64 step = raw ? 0 : arv_camera_get_integer_increment(source.camera.get(), "GevSCPSPacketSize", &raw);
        const qyn::gst::ErrorPtr error(raw);
        if (error)
            continue;  // a camera without the feature streams as it is
        gint64 size = std::min<gint64>(most, mtu - IpUdpHeaders);
        if (step > 1)
            size -= (size - least) % step;
        if (size > least && size <= G_MAXINT)
            g_object_set(source.source.get(), "packet-size", gint(size), nullptr);
    }
}

}  // namespace qyn::aravis
