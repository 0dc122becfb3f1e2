#include "QynArgs.h"

QynArgs::QynArgs(std::span<const QynVariant> args, std::size_t expectedCount) : args_(args)
{
    if (args.size() != expectedCount)
        fail(QynStatus::BadArgCount);
}

void QynArgs::fail(QynStatus status)
{
    if (status_ == QynStatus::Ok)
        status_ = status;
}

template <class T>
const T* QynArgs::get(std::size_t i)
{
    if (i >= args_.size()) {
        fail(QynStatus::BadArgCount);
        return nullptr;
    }
    const T* value = std::get_if<T>(&args_[i]);
    if (!value)
        fail(QynStatus::TypeMismatch);
    return value;
}

std::int32_t QynArgs::int32(std::size_t i)
{
    const auto* v = get<std::int32_t>(i);
    return v ? *v : 0;
}

double QynArgs::real(std::size_t i)
{
    if (i < args_.size())
        if (const auto* v = std::get_if<std::int32_t>(&args_[i]))
            return *v;
    const auto* v = get<double>(i);
    return v ? *v : 0.0;
}

QString QynArgs::string(std::size_t i)
{
    const auto* v = get<QString>(i);
    return v ? *v : QString();
}

QynImage* QynArgs::image(std::size_t i)
{
    const auto* v = get<QynComponent*>(i);
    if (!v)
        return nullptr;
    if (!*v) {
        fail(QynStatus::NullReference);
        return nullptr;
    }
    QynImage* image = (*v)->asImage();
    if (!image)
        fail(QynStatus::TypeMismatch);
    return image;
}

std::int32_t* QynArgs::int32Out(std::size_t i)
{
    const auto* v = get<std::int32_t*>(i);
    if (v && !*v)
        fail(QynStatus::NullReference);
    return v ? *v : nullptr;
}

double* QynArgs::realOut(std::size_t i)
{
    const auto* v = get<double*>(i);
    if (v && !*v)
        fail(QynStatus::NullReference);
    return v ? *v : nullptr;
}

std::span<const std::int32_t> QynArgs::int32s(std::size_t i)
{
    const auto* v = get<std::span<const std::int32_t>>(i);
    return v ? *v : std::span<const std::int32_t>();
}
