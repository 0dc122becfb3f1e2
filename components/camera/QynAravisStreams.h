#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <optional>

namespace qyn::aravis {

// The frames an Aravis stream has lost, from the camera's own block ids: the ids that
// never came to an end (no packet of them, or no free buffer to take them in) and the
// frames that came incomplete or too late, which aravissrc skips without a word.
// aravissrc hands on neither its stream nor the block ids, so every stream Aravis
// creates in this process gets a callback of ours when it is made (aravissrc gives it
// none), is forgotten before it goes, and is found by the camera it streams from.
//
// Call watchStreams() once before the pipelines start (any thread; later calls do
// nothing). cameraOf() finds the camera of the first aravissrc in a pipeline as an
// opaque key, valid while that pipeline holds it. frameOf(key, pixels) reads, from any
// thread, its stream's count of lost frames now and the block id of the frame whose
// pixels are at that address, when the frame came unconverted (aravissrc passes each
// buffer's memory on as it is); nothing before the stream exists.
struct StreamFrame {
    const void* stream = nullptr;  // which stream: a new one counts from zero
    std::uint64_t lost = 0;
    std::optional<std::uint64_t> blockId;
};

void watchStreams();
const void* cameraOf(GstElement* pipeline);
std::optional<StreamFrame> frameOf(const void* camera, const void* pixels);

}  // namespace qyn::aravis
