#include "QynComponentRegistry.h"

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
