#pragma once

#include "QynFrameTap.h"
#include "QynPixelBuffer.h"

#include <cstdint>

namespace qyn {

// One row of frame pixels into a slot's layout: gray as it is, colour (B, G, R, X with
// X = 0xff from GStreamer) with X = 0 as every colour slot keeps it.
void copyFrameRow(const std::uint8_t* from, std::uint8_t* to, int width, QynPixelFormat format);

// The frame into out, reshaped to it (allocated anew when too small). Throws
// std::bad_alloc when there is no memory.
void copyFrame(const QynFrameTap::Frame& frame, std::unique_ptr<QynPixelBuffer>& out);

}  // namespace qyn
