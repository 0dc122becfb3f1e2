#include "QynCallRecorder.h"

QString QynRecordedCall::text() const
{
    return QStringLiteral("%1 %2 %3(%4)")
        .arg(component, qynCallKindText(kind))
        .arg(dispId)
        .arg(args.join(QStringLiteral(", ")));
}

QStringList QynCallLog::texts() const
{
    QStringList out;
    for (const auto& call : calls_)
        out << call.text();
    return out;
}

QynRecordingComponent::QynRecordingComponent(std::unique_ptr<QynComponent> inner,
                                             QString instanceName, std::shared_ptr<QynCallLog> log)
    : inner_(std::move(inner)), name_(std::move(instanceName)), log_(std::move(log))
{
}

QynCallResult QynRecordingComponent::invoke(std::int32_t dispId, QynCallKind kind,
                                            std::span<const QynVariant> args) noexcept
{
    try {
        QynRecordedCall call{name_, dispId, kind, {}};
        for (const auto& arg : args)
            call.args << qynVariantText(arg);
        log_->add(std::move(call));
    } catch (...) {
        // A log that cannot grow must not change the call it watches.
    }
    return inner_->invoke(dispId, kind, args);
}
