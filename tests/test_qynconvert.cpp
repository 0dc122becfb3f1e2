// The command-line converter: each subcommand on real files, its time line, and each
// failure with its exit code and message.
#include "BatchList.h"
#include "CommaLocale.h"
#include "ConvertCommand.h"
#include "ImageFileFixtures.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynMeasureText.h"
#include "QynNativePath.h"
#include "QynRegionStats.h"
#include "StatsCommand.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

    // Names that are not UTF-8 and folders made read-only stay in QTemporaryDir's way.
    void TearDown() override { fixture::removeTree(dir.path()); }

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
        {{"gray", path("missing.bmp"), path("no/folder/o.bmp")}, 4, "the folder does not exist (2008)"},
        {{"decompose", path("c.png"), path("o.bmp"), path("x.bmp"), path("o.bmp")}, 4, "named twice"},
        {{"gray", path("c.png"), path("o.bmp"), "--repeat", "1000001"}, 2, "from 1 to 1000000"},
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

// Guards against stats printing other numbers than the measure window copies, measuring
// another rectangle than the one asked for, or taking a bad region or file for success.
TEST_F(QynConvertTest, StatsPrintTheWindowsNumbersAndRefuseBadRegions)
{
    const auto stats = [&](const QStringList& args) {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        return StatsCommand::run(args, o, e);
    };
    QynImage c, r;
    load("c.png", c);
    load("r.bmp", r);
    EXPECT_EQ(stats({path("c.png")}), 0) << err.toStdString();
    EXPECT_EQ(out, qyn::statsText(QynRegionStats::of(*c.pixels())));
    EXPECT_EQ(stats({path("r.bmp"), "--region", "32,6,1,1"}), 0) << err.toStdString();
    EXPECT_EQ(out, qyn::statsText(QynRegionStats::of(*r.pixels(), QRect(32, 6, 1, 1))));
    EXPECT_TRUE(out.startsWith("region\t32\t6\t1\t1\nchannel\tpixels\tmean\tstd dev\tmin\tmax\tat 0\tat 255\ngray\t1\t"));

    const std::vector<std::pair<QStringList, int>> failing = {
        {{}, 2},
        {{path("c.png"), path("r.bmp")}, 2},
        {{path("c.png"), "--region"}, 2},
        {{path("c.png"), "--region", "1,2,3"}, 2},
        {{path("c.png"), "--region", "0,0,0,5"}, 2},
        {{path("c.png"), "--region", "-1,0,5,5"}, 2},
        {{path("c.png"), "--region", "0,0,2147483647,1"}, 2},
        {{path("c.png"), "--region", "30,0,4,7"}, 2},  // one column past the 33 x 7 image
        {{path("c.png"), "--bins", "8"}, 2},
        {{path("missing.bmp")}, 3},
    };
    for (const auto& [args, exit] : failing) {
        EXPECT_EQ(stats(args), exit) << args.join(' ').toStdString();
        EXPECT_TRUE(err.startsWith("qynconvert: ")) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
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
    // Statistics print a '.' too: the spreadsheet they are pasted into decides.
    process.start(QStringLiteral(QYNCONVERT_PATH), {"stats", path("c.png")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    QynImage c;
    load("c.png", c);
    EXPECT_EQ(QString::fromLatin1(process.readAllStandardOutput()), qyn::statsText(QynRegionStats::of(*c.pixels())));
}

namespace {

// Starts the built program with arguments as raw bytes (QProcess would recode them), as
// the unprivileged user nobody when `asNobody` and the test runs as root.
pid_t start(const std::vector<QByteArray>& args, bool asNobody = false)
{
    std::vector<QByteArray> all;
    if (asNobody)
        all = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    all.push_back(QYNCONVERT_PATH);
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (QByteArray& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int exitOf(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QStringList hidden(const QString& folder)
{
    return QDir(folder).entryList(QStringList{".*"}, QDir::Files | QDir::Hidden | QDir::System);
}

}  // namespace

// Guards against the program's own names being a way in: a link planted where the old
// part files were named cannot redirect the write, and names that are not UTF-8 or are
// near the 255-byte limit are written as given.
TEST_F(QynConvertTest, OutputNamesAreTakenAsGiven)
{
    fixture::writeFile(path("victim"), {1, 2, 3});
    ASSERT_TRUE(QFile::link(path("victim"), path(".o.qynconvert-%1-0.bmp").arg(::getpid())));
    ASSERT_EQ(run({"gray", path("c.png"), path("o.bmp")}), 0) << err.toStdString();
    EXPECT_EQ(fixture::readFile(path("victim")), (fixture::Bytes{1, 2, 3}));
    QFile::remove(path(".o.qynconvert-%1-0.bmp").arg(::getpid()));

    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    const QByteArray odd = folder + "caf\xe9-\xff\xfe.bmp";
    const QByteArray longName = folder + QByteArray(250, 'n') + ".bmp";
    EXPECT_EQ(exitOf(start({"gray", QFile::encodeName(path("c.png")), odd})), 0);
    EXPECT_EQ(exitOf(start({"color", odd, longName})), 0);
    struct stat st {};
    EXPECT_EQ(::stat(odd.constData(), &st), 0);
    EXPECT_EQ(::stat(longName.constData(), &st), 0);
    EXPECT_TRUE(hidden(dir.path()).isEmpty()) << hidden(dir.path()).join(' ').toStdString();
}

// Guards against decompose starting on outputs it cannot replace: in a shared sticky
// folder an ordinary user may not replace another user's file, even one open to all, so
// the run stops before anything is read or written.
TEST_F(QynConvertTest, AnotherUsersFileInASharedFolderIsRefusedFirst)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file of another user and run as nobody";
    const QString shared = path("shared");
    ASSERT_TRUE(QDir(dir.path()).mkdir("shared"));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    std::vector<QByteArray> args = {"decompose", QFile::encodeName(path("c.png"))};
    for (const char* name : {"/r.bmp", "/g.bmp", "/b.bmp"}) {
        const QString out = shared + name;
        fixture::writeFile(out, {'o', 'l', 'd'});
        ASSERT_EQ(::chmod(QFile::encodeName(out).constData(), 0666), 0);
        if (std::string(name) != "/b.bmp") {  // the user's own; b.bmp stays root's
            ASSERT_EQ(::chown(QFile::encodeName(out).constData(), 65534, 65534), 0);
        }
        args.push_back(QFile::encodeName(out));
    }
    const QStringList before = QDir(shared).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(exitOf(start(args, true)), 4);
    for (const char* name : {"/r.bmp", "/g.bmp", "/b.bmp"})
        EXPECT_EQ(fixture::readFile(shared + name), (fixture::Bytes{'o', 'l', 'd'})) << name;
    EXPECT_EQ(QDir(shared).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

// Guards against a killed save leaving hidden temporary files or a mix of old and new
// outputs: a large decompose is stopped by each signal at several moments; afterwards the
// three outputs are all old or all new and nothing else is in the folder.
TEST_F(QynConvertTest, KilledDecomposeLeavesAllOrNoneAndNoTemporaryFile)
{
    QynImage big, plane;
    fixture::fillPattern(big, 2048, 2048, QynPixelFormat::Color32, 5);
    ASSERT_EQ(QynFileAccess::saveFile(path("big.bmp"), big), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = path("out");
    std::vector<QByteArray> args = {"decompose", QFile::encodeName(path("big.bmp"))};
    for (const char* name : {"/r.png", "/g.bmp", "/b.bmp"}) {
        ASSERT_EQ(QynFileAccess::saveFile(out + name, red), 0);
        args.push_back(QFile::encodeName(out + name));
    }
    for (const int signal : {SIGINT, SIGTERM, SIGKILL, SIGXFSZ}) {
        for (const int delayMs : {20, 60, 120, 200}) {
            const pid_t pid = start(args);
            ::usleep(static_cast<useconds_t>(delayMs) * 1000);
            ::kill(pid, signal);
            exitOf(pid);
            EXPECT_EQ(fixture::entries(out), (QStringList{"b.bmp", "g.bmp", "r.png"})) << signal << " at " << delayMs;
            int replaced = 0;
            for (const char* name : {"/r.png", "/g.bmp", "/b.bmp"}) {
                ASSERT_EQ(QynFileAccess::loadFile(out + name, plane), 0);
                replaced += plane.pixels()->width() == 2048;
            }
            EXPECT_TRUE(replaced == 0 || replaced == 3) << signal << " at " << delayMs << " ms";
            if (replaced == 3) {  // back to the old outputs for the next moment
                for (const char* name : {"/r.png", "/g.bmp", "/b.bmp"})
                    ASSERT_EQ(QynFileAccess::saveFile(out + name, red), 0);
            }
        }
    }
}

namespace {

struct Finished {
    int exit = -1;
    QString err;
};

// The built program on arguments (ASCII paths), with `input` on its standard input and
// at most `fileLimit` bytes a file (RLIMIT_FSIZE: writing past it fails as a full disk).
Finished runBuilt(const QStringList& args, const QByteArray& input = {}, rlim_t fileLimit = RLIM_INFINITY)
{
    QProcess process;
    process.setChildProcessModifier([fileLimit] {
        const rlimit limit{fileLimit, fileLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QStringLiteral(QYNCONVERT_PATH), args);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// The bytes of a file whose name may not be UTF-8.
QByteArray bytesOf(const QString& path)
{
    QFile file;
    const int fd = ::open(qynPathToNative(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "missing: " + qynPathToNative(path);
    return file.readAll();
}

// The names in a folder as the system stores them (QDir loses those that are not UTF-8).
QStringList namesIn(const QString& folder)
{
    QStringList names;
    QString why;
    EXPECT_TRUE(BatchList::folderNames(folder, names, why)) << why.toStdString();
    return names;
}

// Runs the single-file mode of the built program on names as the system stores them.
int runSingle(const QStringList& args)
{
    std::vector<QByteArray> native;
    for (const QString& arg : args)
        native.push_back(qynPathToNative(arg));
    return exitOf(start(native));
}

ino_t inode(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

// Guards against a batch converting differently from the single-file mode (options not
// passed on, planes swapped, names or extensions changed, names that are not UTF-8
// lost), against compose pairing files of different names, and against a resumed batch
// writing its outputs again.
TEST_F(QynConvertTest, EveryBatchFormWritesWhatTheSingleFileModeWrites)
{
    QDir top(dir.path());
    for (const char* folder : {"col", "gr", "R", "G", "B"})
        ASSERT_TRUE(top.mkdir(folder));
    QynImage wide;
    fixture::fillPattern(wide, 40, 9, QynPixelFormat::Color32, 7);
    ASSERT_EQ(QynFileAccess::saveFile(path("col/c1.png"), color), 0);
    ASSERT_EQ(QynFileAccess::saveFile(path("col/c2.bmp"), wide), 0);
    const QString odd = qynPathFromNative(QFile::encodeName(path("col/")) + "caf\xe9-\xff.bmp");
    ASSERT_EQ(QynFileAccess::saveFile(odd, color), 0);
    ASSERT_EQ(QynFileAccess::saveFile(path("gr/a.bmp"), red), 0);
    ASSERT_EQ(QynFileAccess::saveFile(path("gr/b.png"), blue), 0);
    for (auto [name, r, g, b] : {std::tuple{"x.bmp", &red, &green, &blue}, {"y.png", &green, &blue, &red}}) {
        ASSERT_EQ(QynFileAccess::saveFile(path("R/") + name, *r), 0);
        ASSERT_EQ(QynFileAccess::saveFile(path("G/") + name, *g), 0);
        ASSERT_EQ(QynFileAccess::saveFile(path("B/") + name, *b), 0);
    }
    ASSERT_EQ(QynFileAccess::saveFile(path("G/extra.bmp"), green), 0);
    const QStringList colours{"c1.png", "c2.bmp", odd.mid(odd.lastIndexOf('/') + 1)};

    struct Form {
        QStringList batch;                           // after the command: folders and options
        QStringList single;                          // options of the single-file mode
        QStringList inputFolders, outputFolders, names;
        QString format;
        int exit;
    };
    const std::vector<std::pair<QString, Form>> forms = {
        {"gray", {{"--weights", "100,800,100"}, {"--weights", "100,800,100"}, {"col"}, {"og"}, colours, {}, 0}},
        {"color", {{"--format", "png"}, {}, {"gr"}, {"oc"}, {"a.bmp", "b.png"}, "png", 0}},
        {"decompose", {{}, {}, {"col"}, {"dr", "dg", "db"}, colours, {}, 0}},
        {"compose", {{"--jobs", "1"}, {}, {"R", "G", "B"}, {"ok"}, {"x.bmp", "y.png"}, {}, 5}},
    };
    for (const auto& [kind, form] : forms) {
        QStringList args{kind, "--batch"};
        for (const QString& folder : form.inputFolders + form.outputFolders) {
            ASSERT_TRUE(top.mkpath(folder));
            args << path(folder);
        }
        const Finished batch = runBuilt(args + form.batch);
        EXPECT_EQ(batch.exit, form.exit) << kind.toStdString() << ": " << batch.err.toStdString();
        if (kind == "compose") {
            EXPECT_TRUE(batch.err.contains(path("G/extra.bmp") + ": no file of that name in " + path("R")))
                << batch.err.toStdString();
        }
        for (const QString& name : form.names) {
            const QString outName = form.format.isEmpty() ? name : name.section('.', 0, 0) + '.' + form.format;
            QStringList single{kind};
            for (const QString& folder : form.inputFolders)
                single << path(folder) + '/' + name;
            for (const QString& folder : form.outputFolders)
                single << path(folder + "-single-" + outName);
            ASSERT_EQ(runSingle(single + form.single), 0) << single.join(' ').toStdString();
            for (const QString& folder : form.outputFolders)
                EXPECT_EQ(bytesOf(path(folder) + '/' + outName), bytesOf(path(folder + "-single-" + outName)))
                    << kind.toStdString() << " " << outName.toStdString();
        }
        EXPECT_EQ(namesIn(path(form.outputFolders.front())).size(), form.names.size()) << kind.toStdString();
    }

    // Run again, outputs already there are left alone; with --overwrite they are replaced.
    const QStringList again{"gray", "--batch", path("col"), path("og"), "--weights", "100,800,100"};
    const ino_t before = inode(path("og/c2.bmp"));
    Finished rerun = runBuilt(again);
    EXPECT_EQ(rerun.exit, 0);
    EXPECT_TRUE(rerun.err.startsWith("qynconvert: 0 converted, 0 failed, 3 skipped of 3 in ")) << rerun.err.toStdString();
    EXPECT_EQ(inode(path("og/c2.bmp")), before);
    rerun = runBuilt(again + QStringList{"--overwrite", "--quiet"});
    EXPECT_EQ(rerun.exit, 0);
    EXPECT_TRUE(rerun.err.isEmpty()) << rerun.err.toStdString();
    EXPECT_NE(inode(path("og/c2.bmp")), before);

    // A decompose stopped after its red plane is converted again, not skipped as done.
    ASSERT_TRUE(QFile::remove(path("dg/c2.bmp")) && QFile::remove(path("db/c2.bmp")));
    rerun = runBuilt({"decompose", "--batch", path("col"), path("dr"), path("dg"), path("db")});
    EXPECT_EQ(rerun.exit, 0);
    EXPECT_TRUE(rerun.err.startsWith("qynconvert: 1 converted, 0 failed, 2 skipped of 3 in ")) << rerun.err.toStdString();
    EXPECT_EQ(bytesOf(path("dg/c2.bmp")), bytesOf(path("dg-single-c2.bmp")));
    EXPECT_TRUE(hidden(path("dr")).isEmpty() && hidden(path("dg")).isEmpty());

    // An output folder that is an input folder, however it is spelt, is refused before
    // anything is written: with --overwrite the inputs would be replaced by their results.
    const QByteArray inputBytes = bytesOf(path("col/c2.bmp"));
    for (const QStringList& args : {QStringList{"gray", "--batch", path("col"), path("col/../col"), "--overwrite"},
                                    QStringList{"gray", "--batch", "-", dir.path() + "/./col", "--overwrite"}}) {
        const Finished refused = runBuilt(args, QFile::encodeName(path("col/c2.bmp")));
        EXPECT_EQ(refused.exit, 4) << refused.err.toStdString();
        EXPECT_TRUE(refused.err.contains(": it is the input folder ")) << refused.err.toStdString();
        EXPECT_EQ(bytesOf(path("col/c2.bmp")), inputBytes);
    }
}

// Guards against one bad file ending or hiding in a batch: a broken file, a listed file
// that is missing and an output past the file size limit (a disk full part-way) are
// each reported with their name and code, the other files are converted, nothing is
// left half-written, and the exit code tells that some failed.
TEST_F(QynConvertTest, ABatchGoesOnPastFilesThatFail)
{
    QDir top(dir.path());
    for (const char* folder : {"in", "o1", "o2", "o3"})
        ASSERT_TRUE(top.mkdir(folder));
    QynImage big;
    fixture::fillPattern(big, 300, 300, QynPixelFormat::Color32, 2);
    ASSERT_EQ(QynFileAccess::saveFile(path("in/a.bmp"), color), 0);
    fixture::writeFile(path("in/b.bmp"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    ASSERT_EQ(QynFileAccess::saveFile(path("in/c.bmp"), big), 0);  // 90 KB of gray pixels
    ASSERT_EQ(QynFileAccess::saveFile(path("in/d.png"), color), 0);
    struct Case {
        QStringList args;
        QByteArray list;
        rlim_t fileLimit;
        QString message, code;
        QStringList written;
    };
    const std::vector<Case> cases = {
        {{"gray", "--batch", path("in"), path("o1")}, {}, RLIM_INFINITY,
         "Cannot read " + path("in/b.bmp") + ": ", "(2004)", {"a.bmp", "c.bmp", "d.png"}},
        {{"gray", "--batch", "-", path("o2")}, QFile::encodeName(path("in/a.bmp\n") + path("gone.bmp\n") + path("in/d.png")),
         RLIM_INFINITY, "Cannot read " + path("gone.bmp") + ": ", "(2002)", {"a.bmp", "d.png"}},
        {{"gray", "--batch", "-", path("o3"), "--null"}, QFile::encodeName(path("in/a.bmp")) + '\0' + QFile::encodeName(path("in/c.bmp")) + '\0' + QFile::encodeName(path("in/d.png")),
         50000, "Cannot write " + path("o3/c.bmp") + ": ", "(2008)", {"a.bmp", "d.png"}},
    };
    for (const Case& c : cases) {
        const Finished batch = runBuilt(c.args, c.list, c.fileLimit);
        EXPECT_EQ(batch.exit, 5) << batch.err.toStdString();
        EXPECT_TRUE(batch.err.contains(c.message) && batch.err.contains(c.code)) << batch.err.toStdString();
        EXPECT_TRUE(batch.err.contains(QString("qynconvert: %1 converted, 1 failed, 0 skipped").arg(c.written.size())))
            << batch.err.toStdString();
        EXPECT_EQ(fixture::entries(c.args[3]), c.written);
    }
}

// Guards against a stopped batch leaving a half-written output or a temporary file, or
// going on with new files: SIGINT lets the file in flight finish and says what was done.
TEST_F(QynConvertTest, ASignalStopsABatchBetweenFiles)
{
    QDir top(dir.path());
    ASSERT_TRUE(top.mkdir("in") && top.mkdir("out"));
    QynImage big;
    fixture::fillPattern(big, 2048, 2048, QynPixelFormat::Color32, 4);
    ASSERT_EQ(QynFileAccess::saveFile(path("in/00.bmp"), big), 0);
    for (int i = 1; i < 30; ++i)  // the same file under thirty names
        ASSERT_TRUE(QFile::link(path("in/00.bmp"), path("in/%1.bmp").arg(i, 2, 10, QChar('0'))));
    QProcess process;
    process.start(QStringLiteral(QYNCONVERT_PATH), {"gray", "--batch", path("in"), path("out"), "--jobs", "1"});
    ASSERT_TRUE(process.waitForStarted());
    while (fixture::entries(path("out")).isEmpty() && process.state() == QProcess::Running)
        ::usleep(1000);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 128 + SIGINT) << err.toStdString();
    EXPECT_TRUE(err.contains(QRegularExpression("stopped by SIGINT: \\d+ converted, 0 failed, 0 skipped, \\d+ not started")))
        << err.toStdString();
    QynImage gray;
    for (const QString& name : fixture::entries(path("out"))) {
        ASSERT_EQ(QynFileAccess::loadFile(path("out/") + name, gray), 0) << name.toStdString();
        EXPECT_EQ(gray.pixels()->width(), 2048);
    }
    EXPECT_LT(fixture::entries(path("out")).size(), 30);
}

// Guards against hidden temporary files outliving a batch killed while many saves are in
// flight: whatever a SIGKILL leaves, the next process that saves into the folder removes.
TEST_F(QynConvertTest, KilledBusyBatchLeavesNothingTheNextSaveKeeps)
{
    QDir top(dir.path());
    ASSERT_TRUE(top.mkdir("in") && top.mkdir("out"));
    QynImage gray;
    fixture::fillPattern(gray, 256, 256, QynPixelFormat::Gray8, 6);
    for (int i = 0; i < 200; ++i) {
        const QString name = QString("%1.bmp").arg(i, 3, 10, QChar('0'));
        ASSERT_EQ(QynFileAccess::saveFile(path("in/") + name, gray), 0);
        ASSERT_EQ(QynFileAccess::saveFile(path("out/") + name, gray), 0);  // replaced: named before the rename
    }
    int left = 0;
    for (const int delayMs : {30, 60, 90, 120}) {
        const pid_t pid = start({"color", "--batch", QFile::encodeName(path("in")), QFile::encodeName(path("out")),
                                 "--jobs", "64", "--overwrite"});
        ::usleep(static_cast<useconds_t>(delayMs) * 1000);
        ::kill(pid, SIGKILL);
        exitOf(pid);
        left += static_cast<int>(hidden(path("out")).size());
        EXPECT_EQ(exitOf(start({"color", QFile::encodeName(path("in/000.bmp")), QFile::encodeName(path("out/x.bmp"))})),
                  0);
        EXPECT_TRUE(hidden(path("out")).isEmpty()) << hidden(path("out")).join(' ').toStdString();
        EXPECT_EQ(fixture::entries(path("out")).size(), 201);
    }
    std::printf("[ killed   ] %d temporary files left by 4 kills, all removed by the next save\n", left);
}
