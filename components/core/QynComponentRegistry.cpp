#include "QynComponentRegistry.h"

#include "QynChangeImage.h"
#include "QynDisplayEx.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"
#include "QynVideo.h"

namespace {

template <class T>
QynComponentRegistry::Factory factoryOf()
{
    return [](const QynStoredSettings& settings) { return std::make_unique<T>(settings); };
}

QynComponentRegistry makeStandard()
{
    QynComponentRegistry registry;
    registry.add(QString::fromLatin1(QynImage::ProgId), factoryOf<QynImage>());
    registry.add(QString::fromLatin1(QynDisplayEx::ProgId), factoryOf<QynDisplayEx>());
    registry.add(QString::fromLatin1(QynVideo::ProgId), factoryOf<QynVideo>());
    registry.add(QString::fromLatin1(QynFileAccess::ProgId), factoryOf<QynFileAccess>());
    registry.add(QString::fromLatin1(QynChangeImage::ProgId), factoryOf<QynChangeImage>());
    registry.add(QString::fromLatin1(QynPerformanceCounter::ProgId),
                 factoryOf<QynPerformanceCounter>());
    return registry;
}

}  // namespace

const QynComponentRegistry& QynComponentRegistry::standard()
{
    static const QynComponentRegistry registry = makeStandard();
    return registry;
}

void QynComponentRegistry::add(const QString& progId, Factory factory)
{
    factories_[progId] = std::move(factory);
}

std::unique_ptr<QynComponent> QynComponentRegistry::create(const QString& progId,
                                                           const QynStoredSettings& settings) const noexcept
{
    const auto it = factories_.find(progId);
    if (it == factories_.end())
        return nullptr;
    try {
        return it->second(settings);
    } catch (...) {
        return nullptr;
    }
}
