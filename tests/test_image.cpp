// The image slot: its four format properties, how its pixels follow them, and how
// its memory is shared with whoever still draws it.
#include "QynCalls.h"
#include "QynImage.h"
#include "SlotFill.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::int32_t get(QynImage& slot, std::int32_t id)
{
    return qyn::getInt32(slot, id).value_or(-12345);
}

}  // namespace

TEST(ImageSlot, WrittenValuesReadBackAndCopyingThreePropertiesCopiesTheFormat)
{
    QynImage camera({512, 480, 8, 1, 1, 0, 512});
    camera.setFormat(640, 360, QynPixelFormat::Color32);
    QynImage slot2({512, 480, 8, 1, 1, 0, 512});

    // The start-up copy: ImageType, FormatParam2, FormatParam1, in that order.
    for (auto id : {QynImage::ImageType, QynImage::FormatParam2, QynImage::FormatParam1})
        ASSERT_EQ(qyn::put(slot2, id, get(camera, id)), QynStatus::Ok);

    EXPECT_EQ(get(slot2, QynImage::FormatParam1), 640);
    EXPECT_EQ(get(slot2, QynImage::FormatParam2), 360);
    EXPECT_EQ(get(slot2, QynImage::ImageType), 2);
    EXPECT_EQ(get(slot2, QynImage::BitDepth), 32);

    // Values outside the known formats read back too; they only make the slot unusable.
    ASSERT_EQ(qyn::put(slot2, QynImage::BitDepth, 12), QynStatus::Ok);
    ASSERT_EQ(qyn::put(slot2, QynImage::FormatParam1, -7), QynStatus::Ok);
    EXPECT_EQ(get(slot2, QynImage::BitDepth), 12);
    EXPECT_EQ(get(slot2, QynImage::FormatParam1), -7);
    QynPixelFormat format;
    EXPECT_FALSE(slot2.describedFormat(format));
}

TEST(ImageSlot, GrayMarkingTurnsColourIntoRealGrayPixels)
{
    // The "Image 3" load writes BitDepth 8 then ImageType 0 into a colour slot 1.
    QynImage slot;
    fixture::fill(slot, 5, 3, QynPixelFormat::Color32,
                  [](int x, int y) { return static_cast<std::uint32_t>(((x + y) & 255) << 16 | y << 8 | x); });

    ASSERT_EQ(qyn::put(slot, QynImage::BitDepth, 8), QynStatus::Ok);
    EXPECT_FALSE(slot.isFilled()) << "half-way (8, 2) is no format any component may take";
    ASSERT_EQ(qyn::put(slot, QynImage::ImageType, 0), QynStatus::Ok);

    const QynPixelBuffer* px = slot.pixels();
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(px->format(), QynPixelFormat::Gray8);
    EXPECT_EQ(px->width(), 5);
    EXPECT_EQ(px->height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int r = (x + y) & 255, g = y, b = x;
            EXPECT_EQ(px->row(y)[x], (77 * r + 150 * g + 29 * b + 128) >> 8) << x << "," << y;
        }
}

TEST(ImageSlot, HalfWrittenFormatKeepsPixelsUntilItIsWrittenBack)
{
    QynImage slot;
    fixture::fillPattern(slot, 4, 4, QynPixelFormat::Color32);
    const auto before = slot.sharedPixels();
    ASSERT_EQ(qyn::put(slot, QynImage::BitDepth, 8), QynStatus::Ok);
    EXPECT_EQ(slot.pixels(), nullptr);
    ASSERT_EQ(qyn::put(slot, QynImage::BitDepth, 32), QynStatus::Ok);
    EXPECT_EQ(slot.pixels(), before.get());
}

TEST(ImageSlot, ClearAndResizeEmptyTheSlotButKeepItsFormat)
{
    QynImage slot;
    fixture::fillPattern(slot, 8, 2, QynPixelFormat::Color32);
    ASSERT_EQ(qyn::call(slot, QynImage::Clear), QynStatus::Ok);
    EXPECT_FALSE(slot.isFilled());
    EXPECT_EQ(get(slot, QynImage::FormatParam1), 8);
    EXPECT_EQ(get(slot, QynImage::ImageType), 2);

    fixture::fillPattern(slot, 8, 2, QynPixelFormat::Color32);
    ASSERT_EQ(qyn::put(slot, QynImage::FormatParam1, 9), QynStatus::Ok);
    EXPECT_FALSE(slot.isFilled()) << "no invented pixels for a new width";
}

TEST(ImageSlot, MemoryThatIsStillDrawnIsNeverReusedOrFreed)
{
    QynImage slot;
    fixture::fillPattern(slot, 16, 16, QynPixelFormat::Color32);
    const auto shown = slot.sharedPixels();  // what a display would keep
    std::vector<std::uint8_t> copy(shown->data(), shown->data() + shown->byteCount());

    ASSERT_EQ(qyn::call(slot, QynImage::Clear), QynStatus::Ok);
    QynPixelBuffer& next = slot.prepareForWrite(16, 16, QynPixelFormat::Color32);
    EXPECT_NE(&next, shown.get());
    std::memset(next.data(), 0xAB, next.byteCount());
    EXPECT_EQ(std::memcmp(shown->data(), copy.data(), copy.size()), 0);

    // Nothing else holds it now: the next write reuses the slot's memory.
    const QynPixelBuffer* own = &next;
    slot.clear();
    EXPECT_EQ(&slot.prepareForWrite(8, 8, QynPixelFormat::Gray8), own);
}

TEST(ImageSlot, ImpossibleSizesFailWithoutTouchingTheSlot)
{
    QynImage slot;
    fixture::fillPattern(slot, 2, 2, QynPixelFormat::Color32);
    EXPECT_THROW(QynPixelBuffer(0, 5, QynPixelFormat::Gray8), std::bad_alloc);
    EXPECT_THROW(QynPixelBuffer(5, -1, QynPixelFormat::Gray8), std::bad_alloc);
    EXPECT_THROW(QynPixelBuffer(QynPixelBuffer::MaxBufferSide + 1, 1, QynPixelFormat::Color32),
                 std::bad_alloc);
    EXPECT_TRUE(slot.isFilled());
}
