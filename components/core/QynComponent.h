#pragma once

#include "QynVariant.h"

#include <QString>

#include <cstdint>
#include <span>

class QynImage;
class QynVideo;
class QWidget;

enum class QynCallKind { Method, PropertyGet, PropertyPut };

enum class QynStatus {
    Ok,
    UnknownMember,  // no member with that dispatch id and call kind
    BadArgCount,
    TypeMismatch,   // an argument of the wrong variant type, or a reference to the wrong component
    NullReference,  // a null component reference or output pointer
    Failed,         // the operation itself failed; components with a result code keep the reason
};

struct QynCallResult {
    QynStatus status = QynStatus::Ok;
    QynVariant value;  // the value of a property read
    bool ok() const { return status == QynStatus::Ok; }
};

// The one calling convention of the component library: a numeric dispatch id, the call
// kind and the arguments. Implementations never let an exception escape invoke().
class QynComponent {
public:
    virtual ~QynComponent() = default;
    QynComponent(const QynComponent&) = delete;
    QynComponent& operator=(const QynComponent&) = delete;

    virtual QString progId() const = 0;
    virtual QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                                 std::span<const QynVariant> args) noexcept = 0;

    // Name used in call logs: the ProgID unless a wrapper gives an instance name.
    virtual QString name() const { return progId(); }
    // The image behind a reference argument, or null when this is no image slot.
    virtual QynImage* asImage() noexcept { return nullptr; }
    // The capture behind a video component (its camera's controls), or null.
    virtual QynVideo* asVideo() noexcept { return nullptr; }
    // The on-screen part of a visible component, or null for invisible ones.
    virtual QWidget* widget() noexcept { return nullptr; }

protected:
    QynComponent() = default;
};

QString qynCallKindText(QynCallKind kind);
QString qynStatusText(QynStatus status);
