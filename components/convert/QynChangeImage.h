#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"
#include "QynPlaneConverter.h"

#include <cstddef>
#include <memory>

class QynImage;

// Converts between colour and gray slots. Gray slots are 8-bit (BitDepth 8, ImageType
// 0), colour slots one word a pixel, 0x00RRGGBB (BitDepth 32, ImageType 2). Methods:
//  - GetLastResult(int32& code): the result code of the last call (0 = success).
//  - ComposeChannels(s1, s2, s3, s4): gray s1, s2, s3 become the red, green and blue of
//    colour s4 (X byte 0).
//  - DecomposeChannels(s1, s2, s3, s4): the red, green and blue of colour s1 become gray
//    s2, s3, s4. Decompose then compose gives back the original pixels (X byte 0).
//  - ColorToGray(src, dst, wr, wg, wb): each pixel's gray level by qynGrayOf's rule
//    (QynConvertReference.h: sums in IEEE double, halves to even, clamped to 0..255), bit
//    for bit. Any finite weights work: white with 0.299, 0.587, 0.144 (sum 1.03) gives
//    255. Weights may also come as 32-bit integers.
//  - GrayToColor(src, dst, int32 count, span table): dst pixel = table[gray], the whole
//    32-bit entry as given. Only the span's entries are read, never past it.
// Any image width works.
//
// A conversion that cannot be done fails the call and keeps a code; checks run in this
// order, and the first that fails decides:
//  1. wrong argument count: BadArgCount, 1505; an argument of the wrong variant type or a
//     reference to a component that is no image: TypeMismatch, 1506; a null reference:
//     NullReference, 1507.
//  2. a weight that is NaN or infinite, a table count other than 256 or larger than the
//     table: Failed, 1505.
//  3. a destination that is the same object as a source, or two destinations that are the
//     same object: Failed, 1551. (Two sources may be the same slot.)
//  4. a source that is empty (never filled, or cleared) or whose properties describe no
//     known format: Failed, 1507.
//  5. a source of the wrong kind (colour where gray is needed, or gray where colour is):
//     Failed, 1550.
//  6. compose sources of different sizes: Failed, 1532.
//  7. no memory for a destination: Failed, 1501 (destinations made so far are emptied).
// An unknown dispatch id or a call that is not a method: UnknownMember, 1501. A failed
// GetLastResult call keeps the code of its own failure too. 1531 and 1552 are never
// produced. Sources are never changed; destinations are written only once every check
// passed. Success leaves 0.
class QynChangeImage final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMCHANGEIMAGELibCtl.QynChangeImage";
    enum DispId : std::int32_t {
        GetLastResult = 1,
        ComposeChannels = 18,
        DecomposeChannels = 19,
        ColorToGray = 20,
        GrayToColor = 21,
    };
    // Result codes.
    enum Code : std::int32_t {
        Success = 0,
        ProcessingFailed = 1501,
        BadParameter = 1505,
        WrongArgumentType = 1506,
        NullArgument = 1507,
        WidthNotMultipleOf32 = 1531,
        SizeMismatch = 1532,
        WrongImageKind = 1550,
        SameObject = 1551,
        BadRange = 1552,
    };

    explicit QynChangeImage(const QynStoredSettings& settings = {});
    ~QynChangeImage() override;

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;

    // Threads that share one large conversion: 0 (the default) = one per core. Small
    // images always run on the calling thread alone.
    // Counts above MaxThreads are taken as MaxThreads.
    void setThreadCount(int threads);
    static constexpr int MaxThreads = QynPlaneConverter::MaxThreads;
    int threadCount() const;

private:
    QynCallResult fail(std::int32_t code, QynStatus status = QynStatus::Failed);
    QynCallResult succeed();
    QynCallResult argumentFailure(QynStatus status);
    QynCallResult getLastResult(std::span<const QynVariant> args);
    QynCallResult compose(std::span<const QynVariant> args);
    QynCallResult decompose(std::span<const QynVariant> args);
    QynCallResult colorToGray(std::span<const QynVariant> args);
    QynCallResult grayToColor(std::span<const QynVariant> args);

    std::int32_t lastResult_ = Success;
    std::unique_ptr<QynPlaneConverter> converter_;  // the kernels, on the slots' pixels
};
