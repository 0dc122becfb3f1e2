#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"

#include <QWidget>

// Shows one slot's image in an area of its window. (Being built.)
class QynDisplayEx final : public QWidget, public QynComponent {
    Q_OBJECT

public:
    static constexpr const char* ProgId = "QYNCOMDISPLAYEXLibCtl.QynDisplayEx";
    enum DispId : std::int32_t {
        Initialize = 101,
        ShowImage = 103,
        // Container properties in twips, as doubles: Left and Top read, Width and Height written.
        Left = 1001,
        Top = 1002,
        Width = 1003,
        Height = 1004,
    };

    explicit QynDisplayEx(const QynStoredSettings& settings = {});

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;
    QWidget* widget() noexcept override { return this; }
};
