#pragma once

#include "ConvertOptions.h"

#include <QStringList>

#include <cstdint>

// What one conversion of a batch holds in memory at most, judged before loading from the
// sources' sizes and the image sizes their headers announce: the file read whole, the
// source slot (taken as colour, four bytes a pixel), Qt's own image for formats other
// than BMP, and the destinations. A header that tells no size counts as the file alone;
// loading such a file fails or is small.
class BatchFootprint {
public:
    // Also sets `inputBytes` to the sources' file sizes.
    static std::int64_t bytes(const ConvertOptions& options, const QStringList& sources, std::int64_t& inputBytes);
};
