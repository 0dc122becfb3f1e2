// Feeds arbitrary bytes to the video configuration parser: it must never crash, read
// out of bounds or hand back a configuration outside the documented ranges.
#include "QynVideoConfig.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto r = qyn::parseVideoConfig(std::string_view(reinterpret_cast<const char*>(data), size));
    if (r.ok()) {
        const QynVideoConfig& c = r.config;
        const bool sized = c.width >= 1 && c.height >= 1 && c.width <= QynVideoConfig::MaxSide
            && c.height <= QynVideoConfig::MaxSide;
        if (c.source.trimmed().isEmpty() || !(sized || c.nativeSize())
            || c.timeoutMs < 1 || c.timeoutMs > QynVideoConfig::MaxTimeoutMs || c.warmupFrames < 0
            || c.warmupFrames > QynVideoConfig::MaxWarmupFrames || c.capsText().isEmpty())
            std::abort();
    } else if (r.message.isEmpty()) {
        std::abort();  // every refusal says why
    }
    return 0;
}
