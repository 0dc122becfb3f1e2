// Reading the parameter fields, the time text and the result messages: the small
// functions every conversion run goes through.
#include "CommaLocale.h"
#include "Module1.h"
#include "NumberText.h"

#include <gtest/gtest.h>


namespace {

struct ParameterCase {
    const char* text;
    std::optional<std::int32_t> value;
};

}  // namespace

// Guards the leading-number rules: blanks anywhere, partial numbers, radix prefixes.
TEST(ReadParameter, ReadsTheLeadingNumberOfTheText)
{
    const ParameterCase cases[] = {
        {"299", 299},       {"", 0},           {"abc", 0},         {"12abc", 12},
        {" 1 2 ", 12},      {"\t-7\n", -7},    {"+5", 5},          {"1e3", 1000},
        {"1E+2", 100},      {"25e-1", 2},      {"1D2", 100},       {"1e", 1},
        {"1e+", 1},         {"3.7.2", 4},      {".5", 0},          {"-.5", 0},
        {".", 0},           {"-", 0},          {"&H10", 16},       {"&h1f", 31},
        {"&O17", 15},       {"&17", 15},       {"&H", 0},          {"&HFFFFFFFF", -1},
        {"&H80000000", std::numeric_limits<std::int32_t>::min()}, {"&HG", 0},
        {"&O9", 0},         {"1e-400", 0},     {"0x10", 0},        {"\r5", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qyn::readParameter(QString::fromLatin1(c.text)), c.value) << '"' << c.text << '"';
}

// Guards banker's rounding (halves to even) and the overflow limits of 32 bits.
TEST(ReadParameter, RoundsHalvesToEvenAndRejectsWhatDoesNotFit)
{
    const ParameterCase cases[] = {
        {"12.5", 12},
        {"13.5", 14},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"-3.5", -4},
        {"0.49999", 0},
        {"2147483647", 2147483647},
        {"2147483647.4", 2147483647},
        {"2147483647.5", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"-2147483648.5", std::numeric_limits<std::int32_t>::min()},
        {"-2147483649", std::nullopt},
        {"1e10", std::nullopt},
        {"1e400", std::nullopt},
        {"&H100000000", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qyn::readParameter(QString::fromLatin1(c.text)), c.value) << '"' << c.text << '"';
}

// Guards the "0.00ms" pattern: two decimals, halves away from zero, no grouping, '.' always.
TEST(FormatMilliseconds, ShowsTwoDecimalsAndMs)
{
    EXPECT_EQ(qyn::formatMilliseconds(3.14159), QStringLiteral("3.14ms"));
    EXPECT_EQ(qyn::formatMilliseconds(0.5), QStringLiteral("0.50ms"));
    EXPECT_EQ(qyn::formatMilliseconds(1234.567), QStringLiteral("1234.57ms"));
    EXPECT_EQ(qyn::formatMilliseconds(0), QStringLiteral("0.00ms"));
    EXPECT_EQ(qyn::formatMilliseconds(0.125), QStringLiteral("0.13ms"));
    EXPECT_EQ(qyn::formatMilliseconds(2.675), QStringLiteral("2.67ms"));  // 2.67499999... in binary
    EXPECT_EQ(qyn::formatMilliseconds(9.999), QStringLiteral("10.00ms"));
    EXPECT_EQ(qyn::formatMilliseconds(99.995), QStringLiteral("100.00ms"));  // 99.99500000000000455
    EXPECT_EQ(qyn::formatMilliseconds(1234567.891), QStringLiteral("1234567.89ms"));
}

// Guards against numbers that follow LC_NUMERIC: a comma-decimal locale must neither turn
// the time's '.' into "3,ms" nor change how a parameter field reads.
TEST(FormatMilliseconds, KeepsThePointAndReadingUnderACommaLocale)
{
    const CommaLocale comma = commaLocale();
    if (!comma.ok())
        GTEST_SKIP() << "no comma-decimal locale: " << comma.problem.toStdString();
    const NumericLocale locale(comma.name);
    ASSERT_TRUE(locale.active());
    EXPECT_EQ(qyn::formatMilliseconds(3.14159), QStringLiteral("3.14ms"));
    EXPECT_EQ(qyn::formatMilliseconds(99.995), QStringLiteral("100.00ms"));
    EXPECT_EQ(qyn::formatMilliseconds(0.004), QStringLiteral("0.00ms"));
    const ParameterCase cases[] = {{"299", 299}, {"2.5", 2}, {"3.5", 4}, {"1,5", 1}, {"25e-1", 2}};
    for (const auto& c : cases)
        EXPECT_EQ(qyn::readParameter(QString::fromLatin1(c.text)), c.value) << '"' << c.text << '"';
}

// Guards the exact message texts, including the two without a full stop.
TEST(GetResultMessage, GivesTheTextOfEachCode)
{
    EXPECT_EQ(Module1::GetResultMessage(0), QStringLiteral("With no error"));
    EXPECT_EQ(Module1::GetResultMessage(1505), QStringLiteral("A parameter is different."));
    EXPECT_EQ(Module1::GetResultMessage(1550), QStringLiteral("The kind of image is different."));
    EXPECT_EQ(Module1::GetResultMessage(1551),
              QStringLiteral("The same object is specified to be an image to be examined by the "
                             "storing image the result."));
    for (std::int32_t unknown : {1502, -1, 1, 1500, 1553, 2001})
        EXPECT_EQ(Module1::GetResultMessage(unknown), QStringLiteral("An unknown error")) << unknown;
}
