// The conversion run behind "Execute": parameters, call order, timed span, result slot,
// time text, the error path, RevRGB, and each kind end to end on real slots.
#include "CaseName.h"
#include "ListComboBox.h"
#include "MainWindowHarness.h"
#include "QynChangeImage.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"
#include "SlotFill.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// What a scripted conversion component saw of its last conversion call.
struct SeenConversion {
    std::vector<double> weights;
    std::vector<std::int32_t> table;
    std::int32_t tableCount = 0;
};

std::unique_ptr<QynComponent> conversion(std::shared_ptr<SeenConversion> seen, bool fails = false,
                                         std::vector<std::int32_t> codes = {0})
{
    auto change = std::make_unique<FakeComponent>(QString::fromLatin1(QynChangeImage::ProgId));
    auto result = [fails](auto) { return QynCallResult{fails ? QynStatus::Failed : QynStatus::Ok, {}}; };
    change->on(QynChangeImage::GetLastResult, resultCodes(std::move(codes)));
    change->on(QynChangeImage::ComposeChannels, result);
    change->on(QynChangeImage::DecomposeChannels, result);
    change->on(QynChangeImage::ColorToGray, [seen, result](std::span<const QynVariant> args) {
        seen->weights.clear();
        for (std::size_t i = 2; i < args.size(); ++i)
            seen->weights.push_back(std::get<double>(args[i]));
        return result(args);
    });
    change->on(QynChangeImage::GrayToColor, [seen, result](std::span<const QynVariant> args) {
        seen->tableCount = std::get<std::int32_t>(args[2]);
        const auto table = std::get<std::span<const std::int32_t>>(args[3]);
        seen->table.assign(table.begin(), table.end());
        return result(args);
    });
    return change;
}

std::unique_ptr<QynComponent> timer(double milliseconds)
{
    auto counter = std::make_unique<FakeComponent>(QString::fromLatin1(QynPerformanceCounter::ProgId));
    counter->on(QynPerformanceCounter::GetElapsedTime, [milliseconds](std::span<const QynVariant> args) {
        *std::get<double*>(args[0]) = milliseconds;
        return QynCallResult{};
    });
    return counter;
}

void setParameters(frmMain& w, const QString& first, const QString& second, const QString& third)
{
    w.txtParam1->setText(first);
    w.txtParam2->setText(second);
    w.txtParam3->setText(third);
}

bool anyClear(const QynCallLog& log)
{
    for (const auto& call : log.calls())
        if (call.component.startsWith("QynImage") && call.dispId == QynImage::Clear)
            return true;
    return false;
}

std::uint32_t colorAt(const QynPixelBuffer& px, int x, int y)
{
    const std::uint8_t* p = px.row(y) + 4 * x;
    return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

struct FailureCode {
    const char* name;
    std::int32_t code;
    const char* prompt;
};

struct KindCase {
    const char* name;
    int kind;
    QStringList calls;
    int index;
    bool textBeforeIndex;
};

std::vector<KindCase> kindCases()
{
    return {
        {"compose", 0,
         {"QynImage4 call 103()", "QynPerformanceCounter1 call 1()",
          "QynChangeImage1 call 18(QynImage1, QynImage2, QynImage3, QynImage4)",
          "QynPerformanceCounter1 call 2(&double)", "QynDisplayEx1 call 103(QynImage4)"},
         3, false},
        {"decompose", 1,
         {"QynImage2 call 103()", "QynImage3 call 103()", "QynImage4 call 103()",
          "QynPerformanceCounter1 call 1()",
          "QynChangeImage1 call 19(QynImage1, QynImage2, QynImage3, QynImage4)",
          "QynPerformanceCounter1 call 2(&double)", "QynDisplayEx1 call 103(QynImage2)"},
         1, false},
        {"colour to gray", 2,
         {"QynImage2 call 103()", "QynPerformanceCounter1 call 1()",
          QStringLiteral("QynChangeImage1 call 20(QynImage1, QynImage2, %1, %2, %3)")
              .arg(299 * 0.001, 0, 'g', 17)
              .arg(587 * 0.001, 0, 'g', 17)
              .arg(144 * 0.001, 0, 'g', 17),
          "QynPerformanceCounter1 call 2(&double)", "QynDisplayEx1 call 103(QynImage2)"},
         1, false},
        {"gray to colour", 3,
         {"QynImage2 call 103()", "QynPerformanceCounter1 call 1()",
          "QynChangeImage1 call 21(QynImage1, QynImage2, 256, int[256])",
          "QynPerformanceCounter1 call 2(&double)", "QynDisplayEx1 call 103(QynImage2)"},
         1, true},
    };
}

}  // namespace

// Guards the packing order and the overflow of the colour function.
TEST(RevRGB, PacksRedHighAndFailsOnOverflow)
{
    EXPECT_EQ(frmMain::RevRGB(255, 255, 0), 16776960);
    EXPECT_EQ(frmMain::RevRGB(0, 0, 255), 255);
    EXPECT_EQ(frmMain::RevRGB(127, 127, 128), 0x7f7f80);
    EXPECT_EQ(frmMain::RevRGB(-1, 0, 0), -65536);
    EXPECT_EQ(frmMain::RevRGB(32768, 0, 0), std::nullopt);
    EXPECT_EQ(frmMain::RevRGB(0, 8388608, 0), std::nullopt);
    EXPECT_EQ(frmMain::RevRGB(0, 8388607, 256), std::nullopt);
    EXPECT_EQ(frmMain::RevRGB(0, 8388607, 255), 2147483647);
    EXPECT_EQ(frmMain::RevRGB(-32768, 0, 0), std::numeric_limits<std::int32_t>::min());
}

// Guards the weights: the fields must be read, rounded half to even and scaled by 0.001.
TEST(Execute, WeightsComeFromTheRoundedFields)
{
    auto seen = std::make_shared<SeenConversion>();
    MainWindowHarness h;
    h.replace("QynChangeImage1", [seen] { return conversion(seen); });
    h.start();
    frmMain& w = h.window();
    w.cmbAutoBin->setListIndex(2);
    h.log->clear();
    w.cmdExecute->click();
    EXPECT_EQ(seen->weights, std::vector<double>({299 * 0.001, 587 * 0.001, 144 * 0.001}));
    EXPECT_NEAR(seen->weights.at(2), 0.144, 1e-12);
    EXPECT_EQ(h.log->texts().mid(0, 2),
              QStringList({"QynImage2 call 103()", "QynPerformanceCounter1 call 1()"}));

    setParameters(w, "abc", "12.5", " 13.5 ");
    w.cmdExecute->click();
    EXPECT_EQ(seen->weights, std::vector<double>({0.0, 12 * 0.001, 14 * 0.001}));
    EXPECT_TRUE(h.messages.empty());
}

// Guards the order of the run: overflow in any field must fail before any slot is emptied.
TEST(Execute, OverflowInAnyFieldFailsBeforeAnySlotIsEmptied)
{
    auto seen = std::make_shared<SeenConversion>();
    MainWindowHarness h;
    h.replace("QynChangeImage1", [seen] { return conversion(seen, false, {1505}); });
    h.start();
    frmMain& w = h.window();
    for (int kind = 0; kind < 4; ++kind)
        for (int field = 0; field < 3; ++field)
            for (const char* big : {"2147483648", "-2147483649", "1e10"}) {
                SCOPED_TRACE(testing::Message() << "kind " << kind << " field " << field << " " << big);
                w.cmbAutoBin->setListIndex(kind);
                QLineEdit* fields[] = {w.txtParam1, w.txtParam2, w.txtParam3};
                fields[field]->setText(QString::fromLatin1(big));
                h.log->clear();
                h.messages.clear();
                w.cmdExecute->click();
                EXPECT_FALSE(anyClear(*h.log));
                ASSERT_EQ(h.messages.size(), 1u);
                EXPECT_EQ(h.messages[0].prompt, "A parameter is different. (1505)");
            }
    // The edges of the range are no overflow.
    w.cmbAutoBin->setListIndex(0);
    setParameters(w, "2147483647.4", "-2147483648", "0");
    h.messages.clear();
    w.cmdExecute->click();
    EXPECT_TRUE(h.messages.empty());
}

class FailureWithCode : public ::testing::TestWithParam<FailureCode> {};

// Guards the error path: the component's code with its message, no icon, and nothing of
// the failed run shown (old time text, list index kept).
TEST_P(FailureWithCode, ShowsTheComponentsCodeAndKeepsTheOldTime)
{
    const FailureCode& c = GetParam();
    auto seen = std::make_shared<SeenConversion>();
    MainWindowHarness h;
    h.replace("QynChangeImage1", [seen, code = c.code] { return conversion(seen, true, {code}); });
    h.start();
    frmMain& w = h.window();
    w.txtExecuteTime->setText("7.00ms");
    h.log->clear();
    w.cmdExecute->click();
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].prompt, c.prompt);
    EXPECT_EQ(h.messages[0].title, "Error generating");
    EXPECT_EQ(h.messages[0].icon, MsgBoxIcon::None);
    EXPECT_EQ(w.txtExecuteTime->text(), "7.00ms");
    EXPECT_EQ(w.cmbDispImage->listIndex(), 0);
    EXPECT_EQ(h.log->texts().last(), "QynChangeImage1 call 1(&int)");
    EXPECT_TRUE(callsOf(*h.log, "QynDisplayEx1").isEmpty());
}
INSTANTIATE_TEST_SUITE_P(Execute, FailureWithCode, ::testing::Values(
    FailureCode{"code 0", 0, "With no error (0)"},
    FailureCode{"code 1502", 1502, "An unknown error (1502)"},
    FailureCode{"code minus 1", -1, "An unknown error (-1)"},
    FailureCode{"code 1550", 1550, "The kind of image is different. (1550)"}),
    NameOfCase());

// Guards the "no kind" case: nothing may be called or shown.
TEST(Execute, NoKindSelectedDoesNothing)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    w.cmbAutoBin->setListIndex(-1);
    h.log->clear();
    w.cmdExecute->click();
    EXPECT_TRUE(h.log->calls().empty());
    EXPECT_TRUE(h.messages.empty());
}

class EachKind : public ::testing::TestWithParam<KindCase> {};

// Guards each kind's calls, result slot, list index and the order of step h.
TEST_P(EachKind, ShowsAndSelectsItsResultSlot)
{
    const KindCase& c = GetParam();
    auto seen = std::make_shared<SeenConversion>();
    MainWindowHarness h;
    h.replace("QynChangeImage1", [seen] { return conversion(seen); });
    h.replace("QynPerformanceCounter1", [] { return timer(3.14159); });
    h.start();
    frmMain& w = h.window();
    w.cmbAutoBin->setListIndex(c.kind);
    QString textAtSelection;
    QObject::connect(w.cmbDispImage, &ListComboBox::click,
                     [&] { textAtSelection = w.txtExecuteTime->text(); });
    h.log->clear();
    w.cmdExecute->click();
    EXPECT_EQ(h.log->texts().mid(0, c.calls.size()), c.calls);
    EXPECT_EQ(w.cmbDispImage->listIndex(), c.index);
    EXPECT_EQ(w.txtExecuteTime->text(), "3.14ms");
    EXPECT_EQ(textAtSelection, c.textBeforeIndex ? "3.14ms" : "0");
    EXPECT_TRUE(h.messages.empty());
    if (c.kind == 3) {
        ASSERT_EQ(seen->table.size(), 256u);
        EXPECT_EQ(seen->tableCount, 256);
        EXPECT_EQ(seen->table[0], 0xffff00);
        EXPECT_EQ(seen->table[128], 0x7f7f80);
        EXPECT_EQ(seen->table[255], 0x0000ff);
        const auto first = seen->table;
        w.cmdExecute->click();
        EXPECT_EQ(seen->table, first) << "the table is the same on every run";
    }
}
INSTANTIATE_TEST_SUITE_P(Execute, EachKind, ::testing::ValuesIn(kindCases()), NameOfCase());

// Guards the whole chain with the real components: pixels of every kind's result.
TEST(Execute, EveryKindEndToEndOnRealSlots)
{
    constexpr int width = 64, height = 3;
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    auto slot = [&](int number) -> QynImage& { return *w.imageSlot(number).asImage(); };
    auto pixels = [&](int number) { return slot(number).pixels(); };

    // Kind 0: three gray slots become the red, green and blue of slot 4.
    fixture::fillPattern(slot(1), width, height, QynPixelFormat::Gray8, 0);
    fixture::fillPattern(slot(2), width, height, QynPixelFormat::Gray8, 50);
    fixture::fillPattern(slot(3), width, height, QynPixelFormat::Gray8, 100);
    w.cmbAutoBin->setListIndex(0);
    w.cmdExecute->click();
    ASSERT_TRUE(h.messages.empty()) << h.messages[0].prompt.toStdString();
    ASSERT_NE(pixels(4), nullptr);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(colorAt(*pixels(4), x, y), (std::uint32_t{pixels(1)->row(y)[x]} << 16)
                                                     | (std::uint32_t{pixels(2)->row(y)[x]} << 8)
                                                     | pixels(3)->row(y)[x]);
    EXPECT_TRUE(w.txtExecuteTime->text().endsWith("ms"));

    // Kind 1: slot 1's channels go to slots 2, 3 and 4.
    fixture::fillPattern(slot(1), width, height, QynPixelFormat::Color32);
    w.cmbAutoBin->setListIndex(1);
    w.cmdExecute->click();
    ASSERT_TRUE(h.messages.empty()) << h.messages[0].prompt.toStdString();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colorAt(*pixels(1), x, y);
            ASSERT_EQ(pixels(2)->row(y)[x], (c >> 16) & 255);
            ASSERT_EQ(pixels(3)->row(y)[x], (c >> 8) & 255);
            ASSERT_EQ(pixels(4)->row(y)[x], c & 255);
        }

    // Kind 2: the weighted sum, within rounding, clamped to 255.
    w.cmbAutoBin->setListIndex(2);
    w.cmdExecute->click();
    ASSERT_TRUE(h.messages.empty()) << h.messages[0].prompt.toStdString();
    ASSERT_NE(pixels(2), nullptr);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colorAt(*pixels(1), x, y);
            const double sum = 0.299 * ((c >> 16) & 255) + 0.587 * ((c >> 8) & 255) + 0.144 * (c & 255);
            ASSERT_NEAR(pixels(2)->row(y)[x], std::min(255.0, sum), 1.0) << x << "," << y;
        }

    // Kind 3: every gray level takes its table colour.
    fixture::fillPattern(slot(1), width, height, QynPixelFormat::Gray8, 7);
    w.cmbAutoBin->setListIndex(3);
    w.cmdExecute->click();
    ASSERT_TRUE(h.messages.empty()) << h.messages[0].prompt.toStdString();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t g = pixels(1)->row(y)[x];
            ASSERT_EQ(colorAt(*pixels(2), x, y), ((255 - g) << 16) | ((255 - g) << 8) | g);
        }

    // A conversion the component refuses (gray source for decomposition) ends in its message.
    w.cmbAutoBin->setListIndex(1);
    w.cmdExecute->click();
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].prompt, "The kind of image is different. (1550)");
}
