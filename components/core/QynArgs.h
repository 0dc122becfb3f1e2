#pragma once

#include "QynComponent.h"

#include <optional>

// Reads the arguments of one call for a component's invoke(). Every accessor checks
// the count and the variant type; the first problem is kept in status(), so an
// implementation reads all it needs and then tests status() once.
class QynArgs {
public:
    QynArgs(std::span<const QynVariant> args, std::size_t expectedCount);

    QynStatus status() const { return status_; }
    bool ok() const { return status_ == QynStatus::Ok; }

    std::int32_t int32(std::size_t i);
    double real(std::size_t i);  // a double, or a 32-bit integer widened
    QString string(std::size_t i);
    QynImage* image(std::size_t i);
    std::int32_t* int32Out(std::size_t i);
    double* realOut(std::size_t i);
    std::span<const std::int32_t> int32s(std::size_t i);

private:
    template <class T>
    const T* get(std::size_t i);
    void fail(QynStatus status);

    std::span<const QynVariant> args_;
    QynStatus status_ = QynStatus::Ok;
};
