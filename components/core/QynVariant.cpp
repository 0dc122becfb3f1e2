#include "QynVariant.h"

#include "QynComponent.h"

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

QString qynVariantText(const QynVariant& value)
{
    return std::visit(
        Overloaded{
            [](std::monostate) { return QStringLiteral("<empty>"); },
            [](std::int32_t v) { return QString::number(v); },
            [](double v) { return QString::number(v, 'g', 17); },
            [](const QString& v) { return QStringLiteral("\"%1\"").arg(v); },
            [](QynComponent* v) { return v ? v->name() : QStringLiteral("<null>"); },
            [](std::int32_t* v) {
                return v ? QStringLiteral("&int") : QStringLiteral("<null &int>");
            },
            [](double* v) { return v ? QStringLiteral("&double") : QStringLiteral("<null &double>"); },
            [](std::span<const std::int32_t> v) {
                return QStringLiteral("int[%1]").arg(v.size());
            },
        },
        value);
}

QString qynCallKindText(QynCallKind kind)
{
    switch (kind) {
    case QynCallKind::Method: return QStringLiteral("call");
    case QynCallKind::PropertyGet: return QStringLiteral("get");
    case QynCallKind::PropertyPut: return QStringLiteral("put");
    }
    return QStringLiteral("?");
}

QString qynStatusText(QynStatus status)
{
    switch (status) {
    case QynStatus::Ok: return QStringLiteral("ok");
    case QynStatus::UnknownMember: return QStringLiteral("unknown member");
    case QynStatus::BadArgCount: return QStringLiteral("wrong argument count");
    case QynStatus::TypeMismatch: return QStringLiteral("type mismatch");
    case QynStatus::NullReference: return QStringLiteral("null reference");
    case QynStatus::Failed: return QStringLiteral("failed");
    }
    return QStringLiteral("?");
}
