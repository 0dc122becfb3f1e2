#pragma once

#include "QynComponent.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

// The stored settings a component is created with (the values kept in the design of
// the window that carries it), in their stored order.
using QynStoredSettings = std::vector<QynVariant>;

// Creates components by ProgID. The process-wide registry knows the six classes of
// the library; a test can build its own and add fakes.
class QynComponentRegistry {
public:
    using Factory = std::function<std::unique_ptr<QynComponent>(const QynStoredSettings&)>;

    static const QynComponentRegistry& standard();

    void add(const QString& progId, Factory factory);
    // Null for an unknown ProgID or a component that could not be made.
    std::unique_ptr<QynComponent> create(const QString& progId,
                                         const QynStoredSettings& settings) const noexcept;

private:
    std::map<QString, Factory> factories_;
};
