#pragma once

#include "QynComponent.h"

#include <QStringList>

#include <memory>
#include <vector>

// One call as a recorder saw it.
struct QynRecordedCall {
    QString component;  // instance name
    std::int32_t dispId = 0;
    QynCallKind kind = QynCallKind::Method;
    QStringList args;  // readable argument values (see qynVariantText)

    // "QynVideo1 call 101()", "QynImage2 put 5(2)": compact and easy to compare.
    QString text() const;
};

// The shared log of every recording wrapper of one test.
class QynCallLog {
public:
    void add(QynRecordedCall call) { calls_.push_back(std::move(call)); }
    const std::vector<QynRecordedCall>& calls() const { return calls_; }
    QStringList texts() const;
    void clear() { calls_.clear(); }

private:
    std::vector<QynRecordedCall> calls_;
};

// Wraps a component, logs every call made through invoke() and forwards it unchanged.
class QynRecordingComponent final : public QynComponent {
public:
    QynRecordingComponent(std::unique_ptr<QynComponent> inner, QString instanceName,
                          std::shared_ptr<QynCallLog> log);

    QString progId() const override { return inner_->progId(); }
    QString name() const override { return name_; }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;
    QynImage* asImage() noexcept override { return inner_->asImage(); }
    QynVideo* asVideo() noexcept override { return inner_->asVideo(); }
    QWidget* widget() noexcept override { return inner_->widget(); }

    QynComponent& inner() { return *inner_; }

private:
    std::unique_ptr<QynComponent> inner_;
    QString name_;
    std::shared_ptr<QynCallLog> log_;
};
