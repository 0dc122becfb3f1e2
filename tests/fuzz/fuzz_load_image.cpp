// Any bytes as an image file: the loader must answer with a code, never crash, leak or
// read outside the bytes it was given.
#include "QynFileAccess.h"
#include "QynImage.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Qt's image readers warn about every bad chunk; keep the fuzzer's output readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QynImage slot;
    const std::int32_t code = QynFileAccess::loadBytes({data, size}, slot);
    // A success fills the slot; a failure leaves it empty as it was.
    if ((code == QynFileAccess::Success) != slot.isFilled())
        __builtin_trap();
    return 0;
}
