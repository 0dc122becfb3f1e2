// The command-line converter: each subcommand on real files, its time line, and each
// failure with its exit code and message.
#include "CommaLocale.h"
#include "ConvertCommand.h"
#include "ImageFileFixtures.h"
#include "QynFileAccess.h"
#include "QynImage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

class QynConvertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fixture::fillPattern(red, 33, 7, QynPixelFormat::Gray8, 1);
        fixture::fillPattern(green, 33, 7, QynPixelFormat::Gray8, 50);
        fixture::fillPattern(blue, 33, 7, QynPixelFormat::Gray8, 99);
        fixture::fillPattern(color, 33, 7, QynPixelFormat::Color32, 3);
        for (auto [slot, name] : {std::pair{&red, "r.bmp"}, {&green, "g.bmp"}, {&blue, "b.bmp"}, {&color, "c.png"}})
            ASSERT_EQ(QynFileAccess::saveFile(path(name), *slot), 0);
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    int run(const QStringList& args)
    {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        return ConvertCommand::run(args, o, e);
    }

    void load(const QString& name, QynImage& slot) const
    {
        ASSERT_EQ(QynFileAccess::loadFile(path(name), slot), 0) << name.toStdString();
    }

    QTemporaryDir dir;
    QynImage red, green, blue, color;
    QString out, err;
};

const QRegularExpression timeLine(QStringLiteral("^\\d+\\.\\d\\dms\\n$"));

std::uint8_t channel(const QynImage& slot, int x, int y, int byte)
{
    return slot.pixels()->row(y)[4 * x + byte];
}

}  // namespace

// Guards against channels landing in the wrong file or slot: compose then decompose
// through files gives the three gray images back exactly.
TEST_F(QynConvertTest, ComposeAndDecomposeRoundTripThroughFiles)
{
    ASSERT_EQ(run({"compose", path("r.bmp"), path("g.bmp"), path("b.bmp"), path("rgb.bmp")}), 0) << err.toStdString();
    EXPECT_TRUE(timeLine.match(out).hasMatch()) << out.toStdString();
    QynImage composed;
    load("rgb.bmp", composed);
    EXPECT_EQ(channel(composed, 5, 3, 2), red.pixels()->row(3)[5]);
    EXPECT_EQ(channel(composed, 5, 3, 0), blue.pixels()->row(3)[5]);

    ASSERT_EQ(run({"decompose", path("rgb.bmp"), path("r2.bmp"), path("g2.png"), path("b2"), "--threads", "2"}), 0)
        << err.toStdString();
    QynImage r2, g2, b2;
    load("r2.bmp", r2);
    load("g2.png", g2);
    load("b2", b2);
    EXPECT_EQ(fixture::state(r2), fixture::state(red));
    EXPECT_EQ(fixture::state(g2), fixture::state(green));
    EXPECT_EQ(fixture::state(b2), fixture::state(blue));
}

// Guards against wrong weights or table: --weights in thousandths picks one channel
// exactly, and the colour table maps gray i to (255-i, 255-i, i).
TEST_F(QynConvertTest, GrayWeightsAndColourTable)
{
    ASSERT_EQ(run({"gray", path("c.png"), path("gray.bmp"), "--weights", "0,1000,0"}), 0) << err.toStdString();
    QynImage gray;
    load("gray.bmp", gray);
    ASSERT_EQ(gray.pixels()->format(), QynPixelFormat::Gray8);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 33; ++x)
            ASSERT_EQ(gray.pixels()->row(y)[x], channel(color, x, y, 1));
    ASSERT_EQ(run({"gray", path("c.png"), path("default.bmp")}), 0);

    ASSERT_EQ(run({"color", path("g.bmp"), path("table.png")}), 0) << err.toStdString();
    QynImage mapped;
    load("table.png", mapped);
    const int level = green.pixels()->row(2)[9];
    EXPECT_EQ(channel(mapped, 9, 2, 2), 255 - level);
    EXPECT_EQ(channel(mapped, 9, 2, 1), 255 - level);
    EXPECT_EQ(channel(mapped, 9, 2, 0), level);
}

// Guards against --repeat printing one time per run, or times with a locale's comma.
TEST_F(QynConvertTest, RepeatPrintsMinAndMedian)
{
    ASSERT_EQ(run({"color", path("g.bmp"), path("t.bmp"), "--repeat", "5"}), 0);
    EXPECT_TRUE(QRegularExpression("^min=\\d+\\.\\d{4} median=\\d+\\.\\d{4}\\n$").match(out).hasMatch())
        << out.toStdString();
}

// Guards against failures that exit 0, give the wrong exit code, lose the conversion's
// message, or leave an output file behind.
TEST_F(QynConvertTest, FailuresExitWithTheirCodeAndMessage)
{
    struct Case {
        QStringList args;
        int exit;
        QString message;
    };
    const std::vector<Case> cases = {
        {{}, 2, "usage:"},
        {{"flip", path("c.png"), path("o.bmp")}, 2, "unknown command"},
        {{"gray", path("c.png")}, 2, "needs 2 files"},
        {{"gray", path("c.png"), path("o.bmp"), "--repeat", "0"}, 2, "--repeat"},
        {{"gray", path("c.png"), path("o.bmp"), "--weights", "1,2"}, 2, "--weights"},
        {{"color", path("c.png"), path("o.bmp"), "--weights", "1,2,3"}, 2, "unknown option"},
        {{"gray", path("missing.bmp"), path("o.bmp")}, 3, "(2002)"},
        {{"gray", path("g.bmp"), path("o.bmp")}, 1, "The kind of image is different. (1550)"},
        {{"color", path("c.png"), path("o.bmp")}, 1, "The kind of image is different. (1550)"},
        {{"gray", path("c.png"), path("no/folder/o.bmp")}, 4, "(2008)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), c.exit) << c.args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(c.message)) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
        EXPECT_FALSE(QFile::exists(path("o.bmp")));
    }
    // A decompose whose last output cannot be written writes none of the three: an output
    // already there keeps its bytes and no hidden part file stays behind.
    QFile before(path("d_red.bmp"));
    ASSERT_TRUE(before.open(QIODevice::WriteOnly));
    before.write("old bytes");
    before.close();
    const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    EXPECT_EQ(run({"decompose", path("c.png"), path("d_red.bmp"), path("d_green.bmp"),
                   path("no/folder/d_blue.bmp")}),
              4);
    EXPECT_TRUE(err.contains("no/folder/d_blue.bmp")) << err.toStdString();
    QFile after(path("d_red.bmp"));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), "old bytes");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), entries);

    // Sources of different sizes.
    QynImage small;
    fixture::fillPattern(small, 8, 8, QynPixelFormat::Gray8);
    ASSERT_EQ(QynFileAccess::saveFile(path("small.bmp"), small), 0);
    EXPECT_EQ(run({"compose", path("r.bmp"), path("small.bmp"), path("b.bmp"), path("o.bmp")}), 1);
    EXPECT_EQ(err, "A storing image must be the same size as a result of an image to be examined. (1532)\n");
}

// Guards against the installed program being wired differently from the logic: the
// built binary converts, prints a '.' time under a comma locale and exits with its codes.
TEST_F(QynConvertTest, TheBuiltProgramRuns)
{
    QProcess process;
    process.start(QStringLiteral(QYNCONVERT_PATH), {"gray", path("none.bmp"), path("q.bmp")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 3);

    const CommaLocale comma = commaLocale();  // sets LOCPATH when it builds the locale
    if (!comma.ok())
        GTEST_SKIP() << "no comma-decimal locale: " << comma.problem.toStdString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", comma.name);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QYNCONVERT_PATH), {"gray", path("c.png"), path("p.bmp")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QString printed = QString::fromLatin1(process.readAllStandardOutput());
    EXPECT_TRUE(timeLine.match(printed).hasMatch()) << printed.toStdString();
    EXPECT_TRUE(QFile::exists(path("p.bmp")));
}
