#pragma once

#include <gst/gst.h>

namespace qyn::aravis {

// Makes every GigE Vision stream Aravis creates from now on in this process ask for a
// socket receive buffer larger than any frame (the kernel grants up to
// net.core.rmem_max) instead of keeping the system's default (208 KiB on Debian), which
// loses most frames above that size. aravissrc creates its stream itself and gives no
// way to set this, so the default of the stream's own setting is changed. Once per
// process, from any thread, before the pipelines start.
void sizeSocketBuffersToFrames();

// A program allowed raw packet sockets (root) has Aravis receive GigE Vision streams
// through one, which sees nothing of a camera on this machine's loopback interface (a
// simulated camera): for such cameras among the pipeline's aravissrc elements the
// stream takes an ordinary socket. Before the pipeline negotiates its format, when
// aravissrc makes its stream.
void receiveLoopbackCamerasBySocket(GstElement* pipeline);

}  // namespace qyn::aravis
