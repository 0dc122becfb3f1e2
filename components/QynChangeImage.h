#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"

// Converts between colour and gray slots. (Being built.)
class QynChangeImage final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMCHANGEIMAGELibCtl.QynChangeImage";
    enum DispId : std::int32_t {
        GetLastResult = 1,
        ComposeChannels = 18,
        DecomposeChannels = 19,
        ColorToGray = 20,
        GrayToColor = 21,
    };
    // Result codes.
    enum Code : std::int32_t {
        Success = 0,
        ProcessingFailed = 1501,
        BadParameter = 1505,
        WrongArgumentType = 1506,
        NullArgument = 1507,
        WidthNotMultipleOf32 = 1531,
        SizeMismatch = 1532,
        WrongImageKind = 1550,
        SameObject = 1551,
        BadRange = 1552,
    };

    explicit QynChangeImage(const QynStoredSettings& settings = {});

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;

private:
    std::int32_t lastResult_ = Success;
};
