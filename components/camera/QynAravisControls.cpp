#include "QynAravisControls.h"

#include "QynGst.h"

// GIO, which arv.h includes, names a member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <arv.h>
#pragma pop_macro("signals")
#include <gst/gst.h>

#include <cmath>

namespace {

using Problem = QynControlResult::Problem;
using qyn::gst::ErrorPtr;

constexpr std::size_t ExposureRow = 1;
constexpr std::size_t GainRow = 3;
constexpr std::size_t FrameRateRow = 5;

// The up-front controls by the names cameras give them, the standard's first; a camera
// has at most one of each row.
const std::vector<QStringList>& upFrontCandidates()
{
    static const std::vector<QStringList> rows = {
        {"ExposureAuto"},
        {"ExposureTime", "ExposureTimeAbs"},
        {"GainAuto"},
        {"Gain", "GainRaw", "GainAbs"},
        {"AcquisitionFrameRateEnable", "AcquisitionFrameRateEnabled"},
        {"AcquisitionFrameRate", "AcquisitionFrameRateAbs"},
        {"Width"},
        {"Height"},
        {"OffsetX"},
        {"OffsetY"},
        {"BinningHorizontal"},
        {"BinningVertical"},
        {"PixelFormat"},
        {"TriggerSelector"},
        {"TriggerMode"},
        {"TriggerSource"},
        {"TriggerSoftware"},
    };
    return rows;
}

// Features that fix the size or format of the stream's frames: aravissrc sizes its
// buffers and caps when it starts, so they change only with the stream restarted.
bool shapesFrames(const QString& name)
{
    static const QStringList names = {"Width", "Height", "PixelFormat", "BinningHorizontal", "BinningVertical",
                                      "DecimationHorizontal", "DecimationVertical", "BinningSelector"};
    return names.contains(name);
}

// Where a saved setting goes in the aravissrc description.
const char* propertyFor(const QString& name)
{
    if (name == QLatin1String("OffsetX"))
        return "offset-x";
    if (name == QLatin1String("OffsetY"))
        return "offset-y";
    if (name == QLatin1String("BinningHorizontal"))
        return "h-binning";
    if (name == QLatin1String("BinningVertical"))
        return "v-binning";
    return nullptr;
}

QString text(const char* utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

QString message(const ErrorPtr& error)
{
    return error ? text(error->message) : QStringLiteral("unknown error");
}

std::optional<QynCameraControl::Type> typeOf(ArvGcNode* node)
{
    using Type = QynCameraControl::Type;
    if (ARV_IS_GC_ENUMERATION(node))
        return Type::Enumeration;
    if (ARV_IS_GC_BOOLEAN(node))
        return Type::Boolean;
    if (ARV_IS_GC_COMMAND(node))
        return Type::Command;
    if (ARV_IS_GC_FLOAT(node))
        return Type::Float;
    if (ARV_IS_GC_INTEGER(node))
        return Type::Integer;
    if (ARV_IS_GC_STRING(node))
        return Type::String;
    return std::nullopt;
}

}  // namespace

QynAravisControls::QynAravisControls(ArvCamera* camera)
    : camera_(ARV_CAMERA(g_object_ref(camera)))
{
    genicam_ = arv_device_get_genicam(arv_camera_get_device(camera_));
    GError* raw = nullptr;
    const QString vendor = text(arv_camera_get_vendor_name(camera_, &raw));
    g_clear_error(&raw);
    const QString model = text(arv_camera_get_model_name(camera_, &raw));
    g_clear_error(&raw);
    const QString serial = text(arv_camera_get_device_serial_number(camera_, &raw));
    g_clear_error(&raw);
    deviceName_ = QStringList{vendor, model, serial}.join(QLatin1Char('-'));

    addNode(-1, QStringLiteral("Root"), QStringLiteral("Root"), true);
    QStringList seen;
    if (ArvGcNode* root = arv_gc_get_node(genicam_, "Root"); root && ARV_IS_GC_CATEGORY(root))
        addCategory(0, root, seen);
    for (const QStringList& names : upFrontCandidates())
        for (const QString& name : names)
            if (featureNode(name)) {
                upFront_ << name;
                break;
            }
}

QynAravisControls::~QynAravisControls()
{
    g_object_unref(camera_);
}

ArvGcNode* QynAravisControls::featureNode(const QString& name) const
{
    ArvGcNode* node = arv_gc_get_node(genicam_, name.toUtf8().constData());
    if (!node || !ARV_IS_GC_FEATURE_NODE(node) || ARV_IS_GC_CATEGORY(node) || !typeOf(node))
        return nullptr;
    GError* raw = nullptr;
    const bool implemented = arv_gc_feature_node_is_implemented(ARV_GC_FEATURE_NODE(node), &raw);
    g_clear_error(&raw);
    return implemented ? node : nullptr;
}

void QynAravisControls::addCategory(int parent, ArvGcNode* category, QStringList& seen)
{
    for (const GSList* item = arv_gc_category_get_features(ARV_GC_CATEGORY(category)); item; item = item->next) {
        const QString name = text(static_cast<const char*>(item->data));
        if (seen.contains(name))  // a category listed twice, or one that contains itself
            continue;
        seen << name;
        ArvGcNode* node = arv_gc_get_node(genicam_, name.toUtf8().constData());
        if (!node || !ARV_IS_GC_FEATURE_NODE(node))
            continue;
        auto* feature = ARV_GC_FEATURE_NODE(node);
        if (arv_gc_feature_node_get_visibility(feature) == ARV_GC_VISIBILITY_INVISIBLE)
            continue;
        const QString shown = text(arv_gc_feature_node_get_display_name(feature));
        if (ARV_IS_GC_CATEGORY(node))
            addCategory(addNode(parent, name, shown, true), node, seen);
        else if (featureNode(name))
            addNode(parent, name, shown, false);
    }
}

void QynAravisControls::noteError(const GError* error)
{
    if (error && error->domain == ARV_DEVICE_ERROR &&
        (error->code == ARV_DEVICE_ERROR_TIMEOUT || error->code == ARV_DEVICE_ERROR_NOT_CONNECTED ||
         error->code == ARV_DEVICE_ERROR_TRANSFER_ERROR))
        lost_ = true;
}

QynCameraControl QynAravisControls::read(const QString& name)
{
    QynCameraControl c;
    ArvGcNode* node = featureNode(name);
    if (!node)
        return c;
    auto* feature = ARV_GC_FEATURE_NODE(node);
    c.name = name;
    c.type = *typeOf(node);
    c.displayName = text(arv_gc_feature_node_get_display_name(feature));
    if (c.displayName.isEmpty())
        c.displayName = name;
    c.description = text(arv_gc_feature_node_get_description(feature));
    if (c.description.isEmpty())
        c.description = text(arv_gc_feature_node_get_tooltip(feature));
    const ArvGcAccessMode mode = arv_gc_feature_node_get_actual_access_mode(feature);
    c.readable = mode != ARV_GC_ACCESS_MODE_WO && c.type != QynCameraControl::Type::Command;
    c.writable = mode != ARV_GC_ACCESS_MODE_RO;
    if (lost_) {
        c.readProblem = QStringLiteral("the camera does not answer");
        return c;
    }

    GError* raw = nullptr;
    // The first failure is the one reported; later reads after it are skipped.
    const auto failed = [&] {
        if (!raw)
            return false;
        const ErrorPtr error(raw);
        raw = nullptr;
        noteError(error.get());
        if (c.readProblem.isEmpty())
            c.readProblem = message(error);
        return true;
    };
    c.available = arv_gc_feature_node_is_available(feature, &raw);
    if (failed())
        c.available = false;
    c.locked = arv_gc_feature_node_is_locked(feature, &raw);
    if (failed())
        c.locked = false;
    c.needsStreamStopped = c.locked || shapesFrames(name);
    if (!c.readable || !c.available || lost_)
        return c;

    switch (c.type) {
    case QynCameraControl::Type::Integer: {
        auto* integer = ARV_GC_INTEGER(node);
        const gint64 value = arv_gc_integer_get_value(integer, &raw);
        if (failed())
            break;
        c.value = qint64(value);
        c.intMin = arv_gc_integer_get_min(integer, &raw);
        if (!failed())
            c.intMax = arv_gc_integer_get_max(integer, &raw);
        if (!failed())
            c.intInc = std::max<gint64>(1, arv_gc_integer_get_inc(integer, &raw));
        failed();
        c.unit = text(arv_gc_integer_get_unit(integer));
        break;
    }
    case QynCameraControl::Type::Float: {
        auto* number = ARV_GC_FLOAT(node);
        const double value = arv_gc_float_get_value(number, &raw);
        if (failed())
            break;
        c.value = value;
        c.floatMin = arv_gc_float_get_min(number, &raw);
        if (!failed())
            c.floatMax = arv_gc_float_get_max(number, &raw);
        if (!failed()) {
            // Aravis gives the smallest double for a feature without an increment.
            const double inc = arv_gc_float_get_inc(number, &raw);
            c.floatInc = std::isfinite(inc) && inc > 1e-300 ? inc : 0;
        }
        failed();
        c.unit = text(arv_gc_float_get_unit(number));
        break;
    }
    case QynCameraControl::Type::Enumeration: {
        auto* enumeration = ARV_GC_ENUMERATION(node);
        const char* value = arv_gc_enumeration_get_string_value(enumeration, &raw);
        if (failed())
            break;
        c.value = text(value);
        guint count = 0;
        const char** entries = arv_gc_enumeration_dup_available_string_values(enumeration, &count, &raw);
        if (!failed())
            for (guint i = 0; i < count; ++i)
                c.entries << text(entries[i]);
        g_free(entries);
        break;
    }
    case QynCameraControl::Type::Boolean: {
        const bool value = arv_gc_boolean_get_value(ARV_GC_BOOLEAN(node), &raw);
        if (!failed())
            c.value = value;
        break;
    }
    case QynCameraControl::Type::String: {
        const char* value = arv_gc_string_get_value(ARV_GC_STRING(node), &raw);
        if (failed())
            break;
        c.value = text(value);
        c.maxLength = arv_gc_string_get_max_length(ARV_GC_STRING(node), &raw);
        if (failed())
            c.maxLength = 0;
        break;
    }
    case QynCameraControl::Type::Command: break;
    }
    return c;
}

QynControlResult QynAravisControls::writeChecked(const QynCameraControl& c, const QVariant& value)
{
    if (lost_)
        return {Problem::NoAnswer, QStringLiteral("%1: the camera does not answer").arg(c.name)};
    ArvGcNode* node = featureNode(c.name);
    GError* raw = nullptr;
    switch (c.type) {
    case QynCameraControl::Type::Integer: arv_gc_integer_set_value(ARV_GC_INTEGER(node), value.toLongLong(), &raw); break;
    case QynCameraControl::Type::Float: arv_gc_float_set_value(ARV_GC_FLOAT(node), value.toDouble(), &raw); break;
    case QynCameraControl::Type::Enumeration:
        arv_gc_enumeration_set_string_value(ARV_GC_ENUMERATION(node), value.toString().toUtf8().constData(), &raw);
        break;
    case QynCameraControl::Type::Boolean: arv_gc_boolean_set_value(ARV_GC_BOOLEAN(node), value.toBool(), &raw); break;
    case QynCameraControl::Type::String:
        arv_gc_string_set_value(ARV_GC_STRING(node), value.toString().toUtf8().constData(), &raw);
        break;
    case QynCameraControl::Type::Command: break;
    }
    if (raw) {
        const ErrorPtr error(raw);
        noteError(error.get());
        QynCameraControl shown = c;
        shown.value = value;
        if (lost_)
            return {Problem::NoAnswer, QStringLiteral("%1: the camera does not answer: %2").arg(c.name, message(error))};
        return {Problem::Refused,
                QStringLiteral("%1: the camera refused %2: %3").arg(c.name, shown.valueText(), message(error))};
    }
    noteWritten(c.name);
    return {};
}

QynControlResult QynAravisControls::executeChecked(const QynCameraControl& c)
{
    if (lost_)
        return {Problem::NoAnswer, QStringLiteral("%1: the camera does not answer").arg(c.name)};
    GError* raw = nullptr;
    arv_gc_command_execute(ARV_GC_COMMAND(featureNode(c.name)), &raw);
    if (raw) {
        const ErrorPtr error(raw);
        noteError(error.get());
        return {lost_ ? Problem::NoAnswer : Problem::Refused, QStringLiteral("%1: %2").arg(c.name, message(error))};
    }
    return {};
}

std::optional<QynSourceChange> QynAravisControls::sourceChange(const Pending& pending, QString* problem)
{
    QynSourceChange change;
    change.element = QStringLiteral("aravissrc");
    change.featuresProperty = QStringLiteral("features");

    const auto valueOf = [&](const QynCameraControl& c) { return settingValue(pending, c); };
    // A value the camera itself sets while its automatic mode runs is left to it.
    const auto automatic = [&](const char* autoName) {
        const QynCameraControl mode = read(QString::fromLatin1(autoName));
        return !mode.name.isEmpty() && valueOf(mode) != QLatin1String("Off");
    };

    for (const QString& name : settingNames(pending)) {
        const QynCameraControl c = read(name);
        if (c.name.isEmpty() || c.type == QynCameraControl::Type::Command || !c.readable || !c.editable())
            continue;
        const QString value = valueOf(c);
        if (value.isEmpty())
            continue;  // unreadable now, or an empty string, which the features cannot carry
        if ((upFrontCandidates()[ExposureRow].contains(name) && automatic("ExposureAuto")) ||
            (upFrontCandidates()[GainRow].contains(name) && automatic("GainAuto")))
            continue;
        if (const char* property = propertyFor(name)) {
            change.properties.emplace_back(QString::fromLatin1(property), value);
        } else if (name == QLatin1String("Width") || name == QLatin1String("Height")) {
            change.capsFields.emplace_back(name.toLower(), value);
        } else if (upFrontCandidates()[FrameRateRow].contains(name)) {
            // aravissrc sets the caps' frame rate when it starts; a different one in the
            // features makes the running capture lose its stream when it negotiates again.
            int numerator = 0;
            int denominator = 1;
            gst_util_double_to_fraction(value.toDouble(), &numerator, &denominator);
            change.capsFields.emplace_back(QStringLiteral("framerate"), QStringLiteral("%1/%2").arg(numerator).arg(denominator));
        } else if (name == QLatin1String("PixelFormat")) {
            gint64 code = -1;
            for (const GSList* e = arv_gc_enumeration_get_entries(ARV_GC_ENUMERATION(featureNode(name))); e; e = e->next) {
                auto* entry = ARV_GC_ENUM_ENTRY(e->data);
                if (text(arv_gc_feature_node_get_name(ARV_GC_FEATURE_NODE(entry))) == value) {
                    GError* raw = nullptr;
                    code = arv_gc_enum_entry_get_value(entry, &raw);
                    g_clear_error(&raw);
                }
            }
            const char* caps = code < 0 ? nullptr : arv_pixel_format_to_gst_caps_string(ArvPixelFormat(code));
            qyn::gst::ensureInitialized();
            GstStructure* structure = caps ? gst_structure_from_string(caps, nullptr) : nullptr;
            if (!structure) {
                if (problem)
                    *problem = QStringLiteral("PixelFormat %1 has no GStreamer caps in aravissrc").arg(value);
                return std::nullopt;
            }
            change.capsMediaType = text(gst_structure_get_name(structure));
            // The fields Aravis describes the format with; the ones it does not use go.
            for (const char* field : {"format", "bpp", "depth"}) {
                const GValue* v = gst_structure_get_value(structure, field);
                const qyn::gst::CharPtr serialized(v ? gst_value_serialize(v) : nullptr);
                change.capsFields.emplace_back(QString::fromLatin1(field), text(serialized.get()));
            }
            gst_structure_free(structure);
        } else {
            change.features.emplace_back(name, value);
        }
    }
    return change;
}
