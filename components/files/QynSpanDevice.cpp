#include "QynSpanDevice.h"

#include <algorithm>
#include <cstring>

QynSpanDevice::QynSpanDevice(std::span<const std::uint8_t> bytes) : bytes_(bytes)
{
    open(QIODevice::ReadOnly);
}

bool QynSpanDevice::seek(qint64 pos)
{
    if (pos < 0 || pos > size())
        return false;
    return QIODevice::seek(pos);
}

qint64 QynSpanDevice::readData(char* data, qint64 maxSize)
{
    const qint64 at = pos();
    const qint64 count = std::clamp<qint64>(size() - at, 0, maxSize);
    if (count > 0)
        std::memcpy(data, bytes_.data() + at, static_cast<std::size_t>(count));
    return count;
}
