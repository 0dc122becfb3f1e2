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

// Streams from cameras on this machine's loopback interface (a simulated camera) the
// way loopback carries them best. A program allowed raw packet sockets (root) has
// Aravis receive GigE Vision streams through one, which sees nothing on loopback: such
// a stream takes an ordinary socket. And a camera's packets stay at the size it was
// left with (often 1400 bytes, for a network's 1500-byte frames) unless the camera
// answers Aravis's test packets, which the simulated camera does not: on loopback, whose
// MTU (64 KiB) every packet crosses, the packets take the largest size the camera
// allows, a tenth as many for a frame and as much less work receiving them. A packet
// size or auto-packet-size in the description is kept. Before the pipeline negotiates
// its format, when aravissrc sets up the camera and makes its stream.
void streamLoopbackCameras(GstElement* pipeline);

}  // namespace qyn::aravis
