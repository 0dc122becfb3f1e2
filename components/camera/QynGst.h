#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <QString>

#include <memory>
#include <vector>

// Owning pointers for the GStreamer references the capture holds; a raw pointer
// beside them is always borrowed.
namespace qyn::gst {

struct ObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};

using ElementPtr = std::unique_ptr<GstElement, ObjectUnref>;
using BusPtr = std::unique_ptr<GstBus, ObjectUnref>;
using ClockPtr = std::unique_ptr<GstClock, ObjectUnref>;
template <typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;
using SamplePtr = std::unique_ptr<GstSample, SampleUnref>;
using MessagePtr = std::unique_ptr<GstMessage, MessageUnref>;
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using CharPtr = std::unique_ptr<gchar, GFree>;

// Owns an object that came with a floating reference (a new element or bin): the
// reference becomes ours. A container it is added to later takes a reference of its own.
template <typename T>
ObjectPtr<T> sunk(T* floating)
{
    return ObjectPtr<T>(floating ? static_cast<T*>(gst_object_ref_sink(floating)) : nullptr);
}

// Initialises GStreamer once per process, from any thread.
void ensureInitialized();

// "message (debug details)" of an error or warning message on the bus.
QString errorText(GstMessage* message);

// The elements an iterator over a bin's elements gives (starting again when the bin
// changes under it); the iterator is freed.
std::vector<ElementPtr> elementsOf(GstIterator* it);
// The elements of a pipeline (in bins within it too) that the factory of this name made;
// none when the pipeline is no bin.
std::vector<ElementPtr> elementsMadeBy(GstElement* pipeline, const char* factory);

}  // namespace qyn::gst
