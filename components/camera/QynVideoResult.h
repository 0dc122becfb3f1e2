#pragma once

#include <cstdint>

// The result codes QynVideo keeps for GetLastResult; the capture pipeline below it
// reports them too.
namespace QynVideoResult {

enum Code : std::int32_t {
    Success = 0,
    ConfigFileMissing = 3001,  // no path, no such file, not a file, unreadable or too large
    ConfigInvalid = 3002,      // a required key missing, a bad value, an unknown key, a bad line
    PipelineInvalid = 3003,    // the source description does not parse
    DeviceFailed = 3004,       // the device does not exist, is busy or does not start
    NotOpen = 3005,            // PrepareImage or Grab without an open device
    Timeout = 3006,            // no frame within timeout_ms
    EndOfStream = 3007,        // the source has ended; the next Grab builds the pipeline anew
    StreamError = 3008,        // the pipeline failed while streaming (camera lost); the next Grab
                               // builds the pipeline anew
    BadFrame = 3009,           // a frame of another size or format than asked for
    OutOfMemory = 3010,        // no memory for the frame; the slot keeps what it held
    BadArgument = 3011,        // wrong argument count or type, or a null slot
    FormatNotOffered = 3012,   // the source cannot give the format asked for (pixel format, caps, size)
    ElementMissing = 3013,     // the description names a GStreamer element that is not installed
};

}  // namespace QynVideoResult
