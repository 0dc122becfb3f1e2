#include "QynComponentRegistry.h"

#include "QynChangeImage.h"
#include "QynDisplayEx.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"
#include "QynVideo.h"

// The one place that knows every layer: the registry of the six classes.

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
