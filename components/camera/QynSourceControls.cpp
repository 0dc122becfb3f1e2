#include "QynSourceControls.h"

#include "QynAravisControls.h"
#include "QynGst.h"
#include "QynV4l2Controls.h"

// GIO, which arv.h includes, names a member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <arv.h>
#pragma pop_macro("signals")

namespace {

QString factoryName(GstElement* element)
{
    GstElementFactory* factory = gst_element_get_factory(element);  // borrowed
    return factory ? QString::fromUtf8(GST_OBJECT_NAME(factory)) : QString();
}

// The pipeline's source elements: those without sink pads.
std::vector<qyn::gst::ElementPtr> sources(GstElement* pipeline)
{
    std::vector<qyn::gst::ElementPtr> found;
    if (!GST_IS_BIN(pipeline)) {
        found.emplace_back(GST_ELEMENT(gst_object_ref(pipeline)));
        return found;
    }
    for (qyn::gst::ElementPtr& element : qyn::gst::elementsOf(gst_bin_iterate_sources(GST_BIN(pipeline)))) {
        if (GST_IS_BIN(element.get()))
            for (auto& inner : sources(element.get()))
                found.push_back(std::move(inner));
        else
            found.push_back(std::move(element));
    }
    return found;
}

}  // namespace

QynSourceControls QynSourceControls::of(GstElement* pipeline)
{
    QStringList kinds;
    for (const qyn::gst::ElementPtr& source : sources(pipeline)) {
        const QString kind = factoryName(source.get());
        if (kind == QLatin1String("aravissrc")) {
            ArvCamera* camera = nullptr;
            g_object_get(source.get(), "camera", &camera, nullptr);
            if (!camera)
                return {nullptr, QStringLiteral("aravissrc has no camera open")};
            auto controls = std::make_unique<QynAravisControls>(camera);
            g_object_unref(camera);
            return {std::move(controls), {}};
        }
        if (kind == QLatin1String("v4l2src")) {
            int fd = -1;
            gchar* device = nullptr;
            g_object_get(source.get(), "device-fd", &fd, "device", &device, nullptr);
            const qyn::gst::CharPtr name(device);
            if (fd < 0)
                return {nullptr, QStringLiteral("v4l2src has no device open")};
            return {std::make_unique<QynV4l2Controls>(
                        std::make_unique<QynV4l2FileDevice>(fd, QString::fromUtf8(name ? name.get() : "")))
                    , {}};
        }
        kinds << kind;
    }
    return {nullptr, kinds.isEmpty() ? QStringLiteral("no camera is open")
                                     : QStringLiteral("this source (%1) has no controls").arg(kinds.join(QStringLiteral(", ")))};
}
