// The calling convention shared by every component: dispatch, argument checks,
// creation by ProgID and the call recorder the other tests rely on.
#include "QynArgs.h"
#include "QynCallRecorder.h"
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynComponentRegistry.h"
#include "QynDisplayEx.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"
#include "QynVideo.h"

#include <gtest/gtest.h>

#include <array>

namespace {

QynCallResult invoke(QynComponent& c, std::int32_t id, QynCallKind kind,
                     std::initializer_list<QynVariant> args = {})
{
    return c.invoke(id, kind, std::span(args.begin(), args.size()));
}

}  // namespace

TEST(ComponentRegistry, CreatesEveryClassByProgIdWithItsStoredSettings)
{
    const auto& registry = QynComponentRegistry::standard();
    for (const char* progId : {QynImage::ProgId, QynDisplayEx::ProgId, QynVideo::ProgId,
                               QynFileAccess::ProgId, QynChangeImage::ProgId,
                               QynPerformanceCounter::ProgId}) {
        auto component = registry.create(QString::fromLatin1(progId), {});
        ASSERT_TRUE(component) << progId;
        EXPECT_EQ(component->progId(), QString::fromLatin1(progId));
    }
    EXPECT_FALSE(registry.create(QStringLiteral("QYNCOMNOTHING.Nothing"), {}));

    auto slot = registry.create(QString::fromLatin1(QynImage::ProgId),
                                {512, 480, 8, 1, 1, 0, 512});
    ASSERT_TRUE(slot && slot->asImage());
    EXPECT_EQ(qyn::getInt32(*slot, QynImage::FormatParam1), 512);
    EXPECT_EQ(qyn::getInt32(*slot, QynImage::FormatParam2), 480);
    EXPECT_EQ(qyn::getInt32(*slot, QynImage::BitDepth), 8);
    EXPECT_EQ(qyn::getInt32(*slot, QynImage::ImageType), 0);
    EXPECT_FALSE(slot->asImage()->isFilled());
}

TEST(ComponentDispatch, BadCallsFailCleanly)
{
    QynImage image;
    QynPerformanceCounter counter;
    std::int32_t out = 0;

    EXPECT_EQ(invoke(image, 999, QynCallKind::Method).status, QynStatus::UnknownMember);
    EXPECT_EQ(invoke(image, QynImage::Clear, QynCallKind::PropertyGet).status,
              QynStatus::UnknownMember);
    EXPECT_EQ(invoke(image, QynImage::Clear, QynCallKind::Method, {1}).status,
              QynStatus::BadArgCount);
    EXPECT_EQ(invoke(image, QynImage::BitDepth, QynCallKind::PropertyPut).status,
              QynStatus::BadArgCount);
    EXPECT_EQ(invoke(image, QynImage::BitDepth, QynCallKind::PropertyPut, {QStringLiteral("8")}).status,
              QynStatus::TypeMismatch);
    EXPECT_EQ(invoke(image, QynImage::BitDepth, QynCallKind::PropertyPut, {&out}).status,
              QynStatus::TypeMismatch);
    EXPECT_EQ(invoke(counter, QynPerformanceCounter::GetElapsedTime, QynCallKind::Method,
                     {static_cast<double*>(nullptr)})
                  .status,
              QynStatus::NullReference);
    EXPECT_EQ(invoke(counter, QynPerformanceCounter::GetElapsedTime, QynCallKind::Method, {&out})
                  .status,
              QynStatus::TypeMismatch);
    // A failed write leaves the property as it was.
    EXPECT_EQ(qyn::getInt32(image, QynImage::BitDepth), 8);
}

TEST(ComponentDispatch, ArgsReaderChecksImagesAndSpans)
{
    QynImage image;
    QynPerformanceCounter notAnImage;
    const std::array<std::int32_t, 3> table{1, 2, 3};
    const std::array<QynVariant, 4> args{&image, static_cast<QynComponent*>(nullptr), &notAnImage,
                                         std::span<const std::int32_t>(table)};

    QynArgs good(args, 4);
    EXPECT_EQ(good.image(0), &image);
    EXPECT_EQ(good.int32s(3).size(), 3u);
    EXPECT_TRUE(good.ok());

    QynArgs null(args, 4);
    EXPECT_EQ(null.image(1), nullptr);
    EXPECT_EQ(null.status(), QynStatus::NullReference);

    QynArgs wrongComponent(args, 4);
    EXPECT_EQ(wrongComponent.image(2), nullptr);
    EXPECT_EQ(wrongComponent.status(), QynStatus::TypeMismatch);

    QynArgs outOfRange(args, 4);
    outOfRange.int32(7);
    EXPECT_EQ(outOfRange.status(), QynStatus::BadArgCount);

    QynArgs wrongCount(args, 2);
    EXPECT_EQ(wrongCount.status(), QynStatus::BadArgCount);
}

TEST(CallRecorder, LogsEveryCallInOrderAndForwardsIt)
{
    auto log = std::make_shared<QynCallLog>();
    QynRecordingComponent slot1(std::make_unique<QynImage>(), QStringLiteral("QynImage1"), log);
    QynRecordingComponent slot2(std::make_unique<QynImage>(), QStringLiteral("QynImage2"), log);

    ASSERT_EQ(qyn::put(slot2, QynImage::ImageType, *qyn::getInt32(slot1, QynImage::ImageType)),
              QynStatus::Ok);
    EXPECT_EQ(qyn::call(slot2, QynImage::Clear), QynStatus::Ok);
    EXPECT_EQ(qyn::call(slot2, 4242), QynStatus::UnknownMember);
    QynChangeImage change;
    invoke(change, QynChangeImage::ColorToGray, QynCallKind::Method, {&slot1, &slot2, 0.5, 1, 2.0});

    EXPECT_EQ(log->texts(), (QStringList{
                                QStringLiteral("QynImage1 get 5()"),
                                QStringLiteral("QynImage2 put 5(0)"),
                                QStringLiteral("QynImage2 call 103()"),
                                QStringLiteral("QynImage2 call 4242()"),
                            }));
    // A wrapped slot still counts as an image where a reference is passed.
    EXPECT_EQ(slot1.asImage(), slot1.inner().asImage());
    EXPECT_EQ(qynVariantText(QynVariant(&slot2)), QStringLiteral("QynImage2"));
}

TEST(PerformanceCounter, ElapsedTimeRightAfterStartIsSmallAndNonNegative)
{
    QynPerformanceCounter counter;
    double ms = -1;
    ASSERT_EQ(qyn::call(counter, QynPerformanceCounter::Start), QynStatus::Ok);
    ASSERT_EQ(qyn::call(counter, QynPerformanceCounter::GetElapsedTime, {&ms}), QynStatus::Ok);
    EXPECT_GE(ms, 0.0);
    EXPECT_LT(ms, 1000.0);
}
