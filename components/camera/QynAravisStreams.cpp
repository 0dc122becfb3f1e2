#include "QynAravisStreams.h"

#include "QynAravisCameras.h"
#include "QynGst.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace qyn::aravis {

namespace {

// What the stream's thread tells of each frame it finishes: the frame's block id, and
// whether it came whole.
struct Count {
    std::atomic<std::uint64_t> lost{0};
    std::uint64_t lastId = 0;  // the stream thread's own
    bool any = false;

    // The block id of the whole frame each of the stream's buffers holds now, by the
    // buffer's memory: aravissrc hands that memory on as it is, so a frame that reaches
    // the reader unconverted is found by its pixels' address. The stream's buffers are
    // few and kept, so the map stays small.
    std::mutex idsLock;
    std::unordered_map<const void*, std::uint64_t> idByData;

    // GigE Vision 1 block ids run from 1 to 65535 and start again at 1.
    static constexpr std::uint64_t ShortIdEnd = 0xFFFF;

    void finished(std::uint64_t id, const void* data, bool whole)
    {
        if (whole && data) {
            const std::lock_guard<std::mutex> lock(idsLock);
            idByData[data] = id;
        }
        std::uint64_t skipped = 0;
        if (any && id > lastId)
            skipped = id - lastId - 1;
        else if (any && lastId <= ShortIdEnd && id >= 1 && id < lastId)
            skipped = (ShortIdEnd - lastId) + (id - 1);
        any = true;
        lastId = id;
        lost.fetch_add(skipped + (whole ? 0 : 1), std::memory_order_relaxed);
    }
};

void onStream(void* data, ArvStreamCallbackType type, ArvBuffer* buffer)
{
    if (type == ARV_STREAM_CALLBACK_TYPE_BUFFER_DONE && buffer)
        static_cast<Count*>(data)->finished(arv_buffer_get_frame_id(buffer), arv_buffer_get_data(buffer, nullptr),
                                            arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS);
}

struct Watched {
    GObject* stream;
    const void* device;
    Count* count;  // goes with the stream, after its thread
};

// The streams alive, each with the device it streams from. A stream leaves the list,
// under the lock, before its own dispose begins; readers hold the lock while they read.
std::mutex watchedLock;
std::vector<Watched> watched;

constexpr const char* CountKey = "qyn-lost-frames";

// The stream classes' own construction and disposal, which the watch runs around.
struct ClassHooks {
    GType type;
    void (*constructed)(GObject*) = nullptr;
    void (*dispose)(GObject*) = nullptr;
};
std::vector<ClassHooks> hooks;  // filled once, before any stream of these classes is made

const ClassHooks& hooksOf(GObject* object)
{
    for (const ClassHooks& hook : hooks)
        if (g_type_is_a(G_OBJECT_TYPE(object), hook.type))
            return hook;
    return hooks.front();  // not reached: only these classes run the hooks
}

// Sets a property that can only be given to g_object_new, as GObject itself does while
// it makes the object: through the class that owns the property.
void setWhileMade(GObject* object, const char* name, gpointer pointer)
{
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(object), name);
    if (!property || !G_IS_PARAM_SPEC_POINTER(property))
        return;
    GValue value = G_VALUE_INIT;
    g_value_init(&value, G_TYPE_POINTER);
    g_value_set_pointer(&value, pointer);
    G_OBJECT_CLASS(g_type_class_peek(property->owner_type))->set_property(object, property->param_id, &value, property);
    g_value_unset(&value);
}

void constructed(GObject* object)
{
    // The callback is given while the stream is being made, before its thread starts;
    // aravissrc gives none. The count is freed with the stream's data, after its thread.
    GObject* device = nullptr;
    ArvStreamCallback given = nullptr;
    g_object_get(object, "device", &device, "callback", &given, nullptr);
    Count* count = nullptr;
    if (!given) {
        count = new Count;
        g_object_set_data_full(object, CountKey, count, [](gpointer data) { delete static_cast<Count*>(data); });
        setWhileMade(object, "callback", reinterpret_cast<gpointer>(&onStream));
        setWhileMade(object, "callback-data", count);
    }
    if (auto original = hooksOf(object).constructed)
        original(object);
    if (!device)
        return;
    g_object_unref(device);  // the stream holds it for as long as it is watched
    if (count) {
        const std::lock_guard<std::mutex> lock(watchedLock);
        watched.push_back({object, device, count});
    }
}

void dispose(GObject* object)
{
    {
        const std::lock_guard<std::mutex> lock(watchedLock);
        watched.erase(std::remove_if(watched.begin(), watched.end(), [object](const Watched& w) { return w.stream == object; }),
                      watched.end());
    }
    if (auto original = hooksOf(object).dispose)
        original(object);
}

}  // namespace

void watchStreams()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (GType type : {ARV_TYPE_GV_STREAM, ARV_TYPE_UV_STREAM}) {
            // The class stays referenced for the life of the process, and with it the hooks.
            auto* objects = static_cast<GObjectClass*>(g_type_class_ref(type));
            hooks.push_back({type, objects->constructed, objects->dispose});
            objects->constructed = constructed;
            objects->dispose = dispose;
        }
    });
}

const void* cameraOf(GstElement* pipeline)
{
    // The element holds the camera, the camera its device.
    const std::vector<SourceCamera> cameras = camerasOf(pipeline);
    return cameras.empty() ? nullptr : cameras.front().device;
}

std::optional<StreamFrame> frameOf(const void* camera, const void* pixels)
{
    if (!camera)
        return std::nullopt;
    const std::lock_guard<std::mutex> lock(watchedLock);
    // The newest stream of the camera: the element makes a new one when the format changes.
    const auto found = std::find_if(watched.rbegin(), watched.rend(), [camera](const Watched& w) { return w.device == camera; });
    if (found == watched.rend())
        return std::nullopt;
    Count& count = *found->count;
    StreamFrame frame{found->stream, count.lost.load(std::memory_order_relaxed), std::nullopt};
    const std::lock_guard<std::mutex> idsLock(count.idsLock);
    if (const auto id = count.idByData.find(pixels); id != count.idByData.end())
        frame.blockId = id->second;
    return frame;
}

}  // namespace qyn::aravis
