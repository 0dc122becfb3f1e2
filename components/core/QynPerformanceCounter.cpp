#include "QynPerformanceCounter.h"

#include "QynArgs.h"

QynPerformanceCounter::QynPerformanceCounter(const QynStoredSettings&) {}

QynCallResult QynPerformanceCounter::invoke(std::int32_t dispId, QynCallKind kind,
                                            std::span<const QynVariant> args) noexcept
{
    if (kind != QynCallKind::Method)
        return {QynStatus::UnknownMember, {}};
    switch (dispId) {
    case Start: {
        QynArgs in(args, 0);
        if (!in.ok())
            return {in.status(), {}};
        start_ = std::chrono::steady_clock::now();
        return {};
    }
    case GetElapsedTime: {
        const auto now = std::chrono::steady_clock::now();
        QynArgs in(args, 1);
        double* out = in.realOut(0);
        if (!in.ok())
            return {in.status(), {}};
        *out = std::chrono::duration<double, std::milli>(now - start_).count();
        return {};
    }
    default: return {QynStatus::UnknownMember, {}};
    }
}
