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

}  // namespace qyn::gst
