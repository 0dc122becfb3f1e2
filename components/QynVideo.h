#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"

// Takes camera frames into slots. (Being built.)
class QynVideo final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMVIDEOLibCtl.QynVideo";
    enum DispId : std::int32_t {
        ConfigFilePath = 1,
        OpenDevice = 101,
        CloseDevice = 102,
        PrepareImage = 103,
        GetLastResult = 110,
        Grab = 200,
    };

    explicit QynVideo(const QynStoredSettings& settings = {});

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;
};
