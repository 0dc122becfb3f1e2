#include "QynGst.h"

#include <mutex>

namespace qyn::gst {

void ensureInitialized()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

QString errorText(GstMessage* message)
{
    GError* rawError = nullptr;
    gchar* rawDebug = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        gst_message_parse_error(message, &rawError, &rawDebug);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING)
        gst_message_parse_warning(message, &rawError, &rawDebug);
    else
        return QString::fromUtf8(GST_MESSAGE_TYPE_NAME(message));
    const ErrorPtr error(rawError);
    const CharPtr debug(rawDebug);
    QString text = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    if (debug && *debug)
        text += QStringLiteral(" (%1)").arg(QString::fromUtf8(debug.get()));
    return text;
}

std::vector<ElementPtr> elementsOf(GstIterator* it)
{
    std::vector<ElementPtr> found;
    GValue item = G_VALUE_INIT;
    for (bool done = false; !done;) {
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK:
            found.emplace_back(GST_ELEMENT(gst_object_ref(g_value_get_object(&item))));
            g_value_reset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            found.clear();
            gst_iterator_resync(it);
            break;
        default: done = true; break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

std::vector<ElementPtr> elementsMadeBy(GstElement* pipeline, const char* factory)
{
    if (!GST_IS_BIN(pipeline))
        return {};
    return elementsOf(gst_bin_iterate_all_by_element_factory_name(GST_BIN(pipeline), factory));
}

}  // namespace qyn::gst
