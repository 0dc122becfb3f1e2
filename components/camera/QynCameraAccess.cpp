#include "QynCameraAccess.h"

#include "QynAravisCameras.h"
#include "QynGst.h"

#include <algorithm>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono;

// GigE Vision's bootstrap register of the heartbeat timeout, in milliseconds.
constexpr guint64 HeartbeatTimeoutRegister = 0x0938;
// How often the wait asks for control again.
constexpr milliseconds Retry{200};

milliseconds heartbeatTimeout(ArvDevice* device)
{
    guint32 timeout = 0;
    GError* raw = nullptr;
    const bool read = arv_device_read_register(device, HeartbeatTimeoutRegister, &timeout, &raw);
    const qyn::gst::ErrorPtr error(raw);
    if (!read || timeout == 0)
        return QynCameraAccess::UsualWait;
    return std::min<milliseconds>(milliseconds(timeout), QynCameraAccess::MostWait);
}

QString waitForControl(const qyn::aravis::SourceCamera& source, steady_clock::time_point since)
{
    ArvDevice* device = source.device;
    if (!ARV_IS_GV_DEVICE(device) || arv_gv_device_is_controller(ARV_GV_DEVICE(device)))
        return {};
    const auto deadline = since + heartbeatTimeout(device);
    for (;;) {
        GError* raw = nullptr;
        const bool taken = arv_gv_device_take_control(ARV_GV_DEVICE(device), &raw);
        const qyn::gst::ErrorPtr error(raw);
        if (taken)
            return {};
        if (steady_clock::now() + Retry >= deadline)
            break;
        std::this_thread::sleep_for(Retry);
    }
    gchar* rawName = nullptr;
    g_object_get(source.source.get(), "camera-name", &rawName, nullptr);
    const qyn::gst::CharPtr name(rawName);
    return QStringLiteral("another program controls the camera%1 (waited %2 ms for it to become free)")
        .arg(name && *name ? QStringLiteral(" \"%1\"").arg(QString::fromUtf8(name.get())) : QString())
        .arg(duration_cast<milliseconds>(steady_clock::now() - since).count());
}

}  // namespace

QString QynCameraAccess::takeControl(GstElement* pipeline, steady_clock::time_point since)
{
    // (aravissrc reports a camera it could not open itself.)
    for (const qyn::aravis::SourceCamera& source : qyn::aravis::camerasOf(pipeline))
        if (QString problem = waitForControl(source, since); !problem.isEmpty())
            return problem;
    return {};
}
