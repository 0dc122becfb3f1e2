#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"

#include <chrono>

// Measures elapsed time on the monotonic clock (nanosecond resolution).
class QynPerformanceCounter final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMPERFORMANCECOUNTERLibCtl.QynPerformanceCounter";
    enum DispId : std::int32_t {
        Start = 1,           // begins a measurement
        GetElapsedTime = 2,  // (double& ms): milliseconds since the last Start
    };

    explicit QynPerformanceCounter(const QynStoredSettings& settings = {});

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
