#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"

// Reads and writes image files into slots. (Being built.)
class QynFileAccess final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMFILEACCESSLibCtl.QynFileAccess";
    enum DispId : std::int32_t {
        FilePath = 1,
        GetLastResult = 101,
        SaveImage = 111,
        LoadImage = 112,
    };

    explicit QynFileAccess(const QynStoredSettings& settings = {});

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;

private:
    QString filePath_;
    std::int32_t lastResult_ = 0;
};
