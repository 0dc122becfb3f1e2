// Recording frame sequences: synthetic frames (no camera) into numbered files or one
// multi-page TIFF, with the index frames.csv telling exactly what was kept and what was
// lost; and `qynconvert record` on GStreamer's test pattern.
#include "CaseName.h"
#include "ImageFileFixtures.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynRecorder.h"
#include "QynVideo.h"
#include "RecordCommand.h"
#include "RecordWindow.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <tiffio.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/mount.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using Format = QynRecordSettings::Format;

// Frame k of a sequence: every pixel its own value, rows wider than the image (the
// stride a camera's buffer may have), colour X bytes set, which no file may keep.
class Frames {
public:
    Frames(int width, int height, QynPixelFormat format)
        : width_(width), height_(height), format_(format), stride_(width * qynBytesPerPixel(format) + 12),
          bytes_(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height))
    {
    }

    QynRecordFrame frame(std::uint64_t k, std::uint64_t lostBefore = 0)
    {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                if (format_ == QynPixelFormat::Gray8) {
                    bytes_[index(x, y)] = static_cast<std::uint8_t>(value(k, x, y, 0));
                } else {
                    for (int c = 0; c < 3; ++c)
                        bytes_[index(x, y) + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(value(k, x, y, c));
                    bytes_[index(x, y) + 3] = 0xff;
                }
            }
        return {bytes_.data(), stride_, width_, height_, format_, k, static_cast<std::int64_t>(k) * 3'333'333, lostBefore};
    }

    // A slot loaded from a file holds frame k.
    bool holds(const QynImage& slot, std::uint64_t k) const
    {
        const QynPixelBuffer* pixels = slot.pixels();
        if (!pixels || pixels->width() != width_ || pixels->height() != height_ || pixels->format() != format_)
            return false;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                for (int c = 0; c < qynBytesPerPixel(format_); ++c) {
                    const int expected = c == 3 ? 0 : value(k, x, y, c);
                    if (pixels->row(y)[x * qynBytesPerPixel(format_) + c] != expected)
                        return false;
                }
        return true;
    }
    bool holds(const QImage& page, std::uint64_t k) const
    {
        if (page.width() != width_ || page.height() != height_)
            return false;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const QRgb rgb = page.pixel(x, y);
                const bool same = format_ == QynPixelFormat::Gray8
                    ? qGray(rgb) == value(k, x, y, 0) && qRed(rgb) == qBlue(rgb)
                    : qBlue(rgb) == value(k, x, y, 0) && qGreen(rgb) == value(k, x, y, 1) && qRed(rgb) == value(k, x, y, 2);
                if (!same)
                    return false;
            }
        return true;
    }

private:
    static int value(std::uint64_t k, int x, int y, int c) { return static_cast<int>((x + 3 * y + 7 * k + 85 * c) & 0xff); }
    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_)
            + static_cast<std::size_t>(x * qynBytesPerPixel(format_));
    }

    int width_, height_;
    QynPixelFormat format_;
    std::ptrdiff_t stride_;
    std::vector<std::uint8_t> bytes_;
};

struct IndexRow {
    std::optional<std::uint64_t> sequence, number;
    std::optional<std::int64_t> timestamp;
    std::uint64_t lost = 0;
    bool operator==(const IndexRow&) const = default;
};

std::optional<std::uint64_t> field(const QString& text)
{
    return text.isEmpty() ? std::nullopt : std::optional<std::uint64_t>(text.toULongLong());
}

std::vector<IndexRow> readIndex(const QString& folder)
{
    QFile file(QDir(folder).filePath("frames.csv"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(file.readAll()).split('\n');
    EXPECT_EQ(lines.front(), "sequence,frame_number,timestamp_ns,lost_before");
    EXPECT_EQ(lines.back(), "") << "the last row is whole";
    std::vector<IndexRow> rows;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QStringList f = lines[i].split(',');
        EXPECT_EQ(f.size(), 4) << lines[i].toStdString();
        if (f.size() != 4)
            continue;
        const auto time = field(f[2]);
        rows.push_back({field(f[0]), field(f[1]),
                        time ? std::optional<std::int64_t>(static_cast<std::int64_t>(*time)) : std::nullopt,
                        f[3].toULongLong()});
    }
    return rows;
}

std::uint64_t lostIn(const std::vector<IndexRow>& rows)
{
    std::uint64_t lost = 0;
    for (const IndexRow& row : rows)
        lost += row.lost;
    return lost;
}

// Every page of a multi-page TIFF, read by Qt's own TIFF reader.
std::vector<QImage> pages(const QString& path)
{
    QImageReader reader(path);
    std::vector<QImage> all;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (i > 0 && !reader.jumpToNextImage())
            break;
        all.push_back(reader.read());
    }
    return all;
}

// The pages libtiff finds in a file, or -1 when it meets anything amiss on the way (a
// directory chain that points past the end, bytes after the last page).
int cleanPages(const QString& path)
{
    int complaints = 0;
    const auto complain = [](TIFF*, void* count, const char*, const char*, va_list) {
        ++*static_cast<int*>(count);
        return 1;
    };
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, complain, &complaints);
    TIFFOpenOptionsSetWarningHandlerExtR(options, complain, &complaints);
    TIFF* tiff = TIFFOpenExt(path.toLocal8Bit().constData(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!tiff)
        return -1;
    int pages = 1;
    std::uint64_t end = 0;
    for (;; ++pages) {
        std::uint64_t* offsets = nullptr;
        std::uint64_t* counts = nullptr;
        const std::uint32_t last = TIFFNumberOfStrips(tiff) - 1;  // libtiff reads one big strip as several
        if (TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts))
            end = std::max(end, offsets[last] + counts[last]);
        if (!TIFFReadDirectory(tiff))
            break;
    }
    TIFFClose(tiff);
    // Past the last strip come directories only, never a torn page's pixels.
    return complaints == 0 && QFileInfo(path).size() < static_cast<qint64>(end) + 4096 ? pages : -1;
}

// The writers wait here while it is shut: a disk that stalls.
class WriterGate {
public:
    WriterGate() { QynRecorder::beforeWrite = &WriterGate::pass; }
    ~WriterGate()
    {
        open();
        QynRecorder::beforeWrite = nullptr;
    }
    void shut() { set(false); }
    void open() { set(true); }

private:
    static void pass(std::uint64_t)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [] { return isOpen; });
    }
    static void set(bool to)
    {
        {
            const std::lock_guard lock(mutex);
            isOpen = to;
        }
        changed.notify_all();
    }
    static inline std::mutex mutex;
    static inline std::condition_variable changed;
    static inline bool isOpen = true;
};

template <typename Condition>
bool waitFor(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

QynRecordSettings settingsFor(const QString& folder, Format format, std::size_t memory = 64 << 20)
{
    QynRecordSettings settings;
    settings.folder = folder;
    settings.format = format;
    settings.memoryBytes = memory;
    return settings;
}

struct FormatCase {
    const char* name;
    Format format;
    QynPixelFormat pixels;
};

class RecordFormats : public ::testing::TestWithParam<FormatCase> {};

// Guards against misnumbered or misnamed files, a row for a frame before its file is
// whole, the source's own losses going unreported, and pixels changed on the way (the
// X byte kept, rows taken at the wrong stride, colour channels swapped).
TEST_P(RecordFormats, FramesAreNumberedContiguouslyAndLoadBackAsTaken)
{
    const FormatCase& c = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath("run");
    Frames frames(37, 21, c.pixels);
    QynRecorder recorder(settingsFor(folder, c.format));
    ASSERT_EQ(recorder.start(), "");
    // Frames 1..4, then the source lost 5 and 6, then 7..11.
    for (std::uint64_t k : {1, 2, 3, 4, 7, 8, 9, 10, 11})
        recorder.push(frames.frame(k, k == 7 ? 2 : 0));
    ASSERT_EQ(recorder.stop(), "");

    const std::vector<std::uint64_t> numbers{1, 2, 3, 4, 7, 8, 9, 10, 11};
    std::vector<IndexRow> expected;
    for (std::uint64_t i = 0; i < numbers.size(); ++i)
        expected.push_back({i + 1, numbers[i], static_cast<std::int64_t>(numbers[i]) * 3'333'333, numbers[i] == 7 ? 2u : 0u});
    EXPECT_EQ(readIndex(folder), expected);
    const QynRecordStatus status = recorder.status();
    EXPECT_EQ(status.recorded, 9u);
    EXPECT_EQ(status.lost, 2u);
    EXPECT_EQ(status.lostFull, 0u);

    QynImage slot;
    if (c.format == Format::TiffPages) {
        EXPECT_EQ(fixture::entries(folder), QStringList({"frames.csv", "frames.tif"}));
        ASSERT_EQ(QynFileAccess::loadFile(QDir(folder).filePath("frames.tif"), slot), 0);
        EXPECT_TRUE(frames.holds(slot, 1));
        const std::vector<QImage> all = pages(QDir(folder).filePath("frames.tif"));
        ASSERT_EQ(all.size(), numbers.size());
        EXPECT_EQ(cleanPages(QDir(folder).filePath("frames.tif")), 9);
        for (std::size_t i = 0; i < all.size(); ++i)
            EXPECT_TRUE(frames.holds(all[i], numbers[i])) << "page " << i + 1;
        return;
    }
    QStringList names{"frames.csv"};
    const QString extension = c.format == Format::Png ? "png" : c.format == Format::Tiff ? "tif" : "bmp";
    for (std::uint64_t i = 0; i < numbers.size(); ++i) {
        const QString name = QString("frame-%1.%2").arg(i + 1, 6, 10, QChar('0')).arg(extension);
        names << name;
        ASSERT_EQ(QynFileAccess::loadFile(QDir(folder).filePath(name), slot), 0) << name.toStdString();
        EXPECT_TRUE(frames.holds(slot, numbers[i])) << name.toStdString();
    }
    names.sort();
    EXPECT_EQ(fixture::entries(folder), names);
}

INSTANTIATE_TEST_SUITE_P(Record, RecordFormats,
                         ::testing::Values(FormatCase{"bmp gray", Format::Bmp, QynPixelFormat::Gray8},
                                           FormatCase{"png colour", Format::Png, QynPixelFormat::Color32},
                                           FormatCase{"tif gray", Format::Tiff, QynPixelFormat::Gray8},
                                           FormatCase{"tif colour", Format::Tiff, QynPixelFormat::Color32},
                                           FormatCase{"tif pages gray", Format::TiffPages, QynPixelFormat::Gray8},
                                           FormatCase{"tif pages colour", Format::TiffPages, QynPixelFormat::Color32}),
                         NameOfCase());

// Guards against frames skipped without a count when the memory is full, a producer
// that waits for a stalled disk, and a stop that drops what is still in memory: the
// memory holds four frames, the disk stalls, and every frame is either in a file and
// the index or counted where it was lost.
TEST(Record, AFullMemoryCountsEveryLostFrameAndStopWritesWhatItHolds)
{
    QTemporaryDir dir;
    Frames frames(64, 48, QynPixelFormat::Gray8);
    WriterGate gate;
    QynRecorder recorder(settingsFor(dir.path(), Format::Bmp, 4 * 64 * 48));
    ASSERT_EQ(recorder.start(), "");
    gate.shut();
    for (std::uint64_t k = 1; k <= 10; ++k)  // 1..4 taken, 5..10 lost
        recorder.push(frames.frame(k));
    QynRecordStatus status = recorder.status();
    EXPECT_EQ(status.taken, 4u);
    EXPECT_EQ(status.lostFull, 6u);
    EXPECT_DOUBLE_EQ(status.ringFill(), 1.0);
    gate.open();
    ASSERT_TRUE(waitFor([&] { return recorder.status().recorded == 4; }));
    gate.shut();
    for (std::uint64_t k = 11; k <= 16; ++k)  // 11..14 taken, 15 and 16 lost
        recorder.push(frames.frame(k));
    gate.open();
    ASSERT_EQ(recorder.stop(), "");

    std::vector<IndexRow> expected;
    const std::uint64_t numbers[] = {1, 2, 3, 4, 11, 12, 13, 14};
    for (std::uint64_t i = 0; i < 8; ++i)
        expected.push_back({i + 1, numbers[i], static_cast<std::int64_t>(numbers[i]) * 3'333'333, numbers[i] == 11 ? 6u : 0u});
    expected.push_back({std::nullopt, 16, 16 * 3'333'333, 2});  // lost after the last frame kept
    EXPECT_EQ(readIndex(dir.path()), expected);
    status = recorder.status();
    EXPECT_EQ(status.recorded, 8u);
    EXPECT_EQ(status.lost, 8u);
    EXPECT_EQ(status.lostFull, 8u);
    EXPECT_EQ(status.ringBytes, 0u);
    QynImage slot;
    for (std::uint64_t i = 0; i < 8; ++i) {
        ASSERT_EQ(QynFileAccess::loadFile(dir.filePath(QString("frame-%1.bmp").arg(i + 1, 6, 10, QChar('0'))), slot), 0);
        EXPECT_TRUE(frames.holds(slot, numbers[i]));
    }
}

// A small file system of its own in a temporary folder, unmounted however the test ends.
class SmallDisk {
public:
    SmallDisk(const QString& path, const char* size) : path_(path.toLocal8Bit())
    {
        const QByteArray options = QByteArray("size=") + size;
        mounted_ = ::mount("tmpfs", path_.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
        why_ = mounted_ ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(path_.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return mounted_; }
    const QString& why() const { return why_; }

private:
    QByteArray path_;
    bool mounted_ = false;
    QString why_;
};

class RecordOnAFullDisk : public ::testing::TestWithParam<FormatCase> {};

// Guards against a full disk that loses the files already complete, leaves a torn
// file or page behind, or an index that names a frame without a file (or leaves one
// out): the recording stops with the reason, and every frame taken is either a row
// with its whole file or counted as lost.
TEST_P(RecordOnAFullDisk, KeepsEveryCompleteFileAndATruthfulIndex)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("disk");
    ASSERT_TRUE(QDir().mkdir(folder));
    const SmallDisk disk(folder, "1m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs (needs root): " << disk.why().toStdString();
    Frames frames(128, 96, GetParam().pixels);
    QynRecorder recorder(settingsFor(folder, GetParam().format));
    ASSERT_EQ(recorder.start(), "");
    for (std::uint64_t k = 1; k <= 200 && !recorder.status().failed; ++k)
        recorder.push(frames.frame(k));
    ASSERT_TRUE(waitFor([&] { return recorder.status().failed || recorder.status().ringBytes == 0; }));
    const QString failure = recorder.stop();
    EXPECT_TRUE(failure.contains("the disk is full")) << failure.toStdString();

    const std::vector<IndexRow> rows = readIndex(folder);
    const QynRecordStatus status = recorder.status();
    ASSERT_GT(status.recorded, 2u);
    EXPECT_LT(status.recorded, status.taken);
    EXPECT_EQ(lostIn(rows), status.lost);
    EXPECT_EQ(status.recorded + status.lost, status.taken);
    std::vector<IndexRow> recorded;  // the rows of frames kept; a last row may count frames lost after them
    for (const IndexRow& row : rows)
        if (row.sequence)
            recorded.push_back(row);
    EXPECT_EQ(recorded.size(), status.recorded);
    QStringList names{"frames.csv"};
    QynImage slot;
    if (GetParam().format == Format::TiffPages) {
        names << "frames.tif";
        const std::vector<QImage> all = pages(QDir(folder).filePath("frames.tif"));
        ASSERT_EQ(all.size(), recorded.size());
        EXPECT_EQ(cleanPages(QDir(folder).filePath("frames.tif")), static_cast<int>(recorded.size()));
        for (std::size_t i = 0; i < all.size(); ++i)
            EXPECT_TRUE(frames.holds(all[i], *recorded[i].number)) << "page " << i + 1;
    } else {
        for (const IndexRow& row : recorded) {
            const QString name = QString("frame-%1.bmp").arg(*row.sequence, 6, 10, QChar('0'));
            names << name;
            ASSERT_EQ(QynFileAccess::loadFile(QDir(folder).filePath(name), slot), 0) << name.toStdString();
            EXPECT_TRUE(frames.holds(slot, *row.number)) << name.toStdString();
        }
    }
    names.sort();
    EXPECT_EQ(fixture::entries(folder), names) << "no file without its row, nothing half-written";
}

INSTANTIATE_TEST_SUITE_P(Record, RecordOnAFullDisk,
                         ::testing::Values(FormatCase{"numbered bmp", Format::Bmp, QynPixelFormat::Gray8},
                                           FormatCase{"tif pages", Format::TiffPages, QynPixelFormat::Color32}),
                         NameOfCase());

// Guards against a multi-page TIFF whose last directory link points into a page that
// was cut off: the disk fills while the second page's directory is written, and the
// file must read as one whole page with nothing after it.
TEST(Record, APageCutOffInItsDirectoryLeavesTheChainWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("pages.tif");
    QynPixelBuffer pixels(128, 96, QynPixelFormat::Gray8);
    std::fill(pixels.data(), pixels.data() + pixels.byteCount(), std::uint8_t{77});
    QynTiffPages tiff;
    ASSERT_EQ(tiff.create(path), "");
    ASSERT_EQ(tiff.append(pixels), "");
    const qint64 onePage = QFileInfo(path).size();
    // The next page's pixels fit; its directory, written after them, does not.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = static_cast<rlim_t>(onePage + static_cast<qint64>(pixels.byteCount()) + 40);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QString failure = tiff.append(pixels);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failure.startsWith("cannot write page 2 of ")) << failure.toStdString();
    EXPECT_EQ(tiff.close(), "");
    EXPECT_EQ(QFileInfo(path).size(), onePage);
    EXPECT_EQ(cleanPages(path), 1);
}

// A video configuration of GStreamer's test pattern at 100 frames a second.
QString testPattern(const QTemporaryDir& dir)
{
    const QString path = dir.filePath("pattern.ini");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("[video]\nsource = videotestsrc is-live=true ! video/x-raw,framerate=100/1\n"
               "width = 64\nheight = 48\nformat = gray8\n");
    return path;
}

// Guards against a command line taken half-way: every mistake is exit 2 with the reason
// and the usage, before any camera is opened or any folder made.
TEST(RecordCommandLine, MistakesExitWithUsageAndTouchNothing)
{
    QTemporaryDir dir;
    const QString ini = testPattern(dir);
    const QString out = dir.filePath("out");
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{ini}, "record needs a video configuration file and an output folder"},
        {{ini, out, "--frames", "0"}, "--frames needs a whole number of at least 1"},
        {{ini, out, "--frames", "5", "--seconds", "1"}, "--frames and --seconds do not go together"},
        {{ini, out, "--format", "jpg"}, "--format needs bmp, png, tif or tif-pages"},
        {{ini, out, "--memory", "12X"}, "--memory needs a number of bytes above 0"},
        {{ini, out, "--writers"}, "--writers needs a value"},
    };
    for (const auto& c : cases) {
        QString err;
        QTextStream outStream(stdout), errStream(&err);
        EXPECT_EQ(RecordCommand::run(c.args, outStream, errStream), 2) << c.message;
        EXPECT_TRUE(err.startsWith(QString("qynconvert: ") + c.message)) << err.toStdString();
        EXPECT_TRUE(err.contains("usage: qynconvert record")) << c.message;
        EXPECT_FALSE(QFileInfo::exists(out)) << c.message;
    }
}

// Guards against the command losing frames of a live source, a frame number of the
// source left out, and a signal that ends the process before what it took is written.
TEST(RecordCommandLine, RecordsATestPatternAndStopsOnASignal)
{
    QTemporaryDir dir;
    const QString ini = testPattern(dir);
    QProcess counted;
    counted.start(QStringLiteral(QYNCONVERT_PATH), {"record", ini, dir.filePath("counted"), "--frames", "25"});
    ASSERT_TRUE(counted.waitForFinished(60000));
    const QString countedErr = QString::fromLocal8Bit(counted.readAllStandardError());
    EXPECT_EQ(counted.exitCode(), 0) << countedErr.toStdString();
    EXPECT_TRUE(countedErr.contains("25 frames recorded, 0 lost")) << countedErr.toStdString();
    const std::vector<IndexRow> rows = readIndex(dir.filePath("counted"));
    ASSERT_EQ(rows.size(), 25u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].sequence, i + 1);
        EXPECT_EQ(rows[i].number, *rows[0].number + i) << "the source's own numbers, none skipped";
        EXPECT_EQ(rows[i].lost, 0u);
    }
    EXPECT_EQ(fixture::entries(dir.filePath("counted")).size(), 26);

    QProcess stopped;
    stopped.start(QStringLiteral(QYNCONVERT_PATH), {"record", ini, dir.filePath("stopped"), "--format", "png"});
    ASSERT_TRUE(stopped.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return fixture::entries(dir.filePath("stopped")).size() > 10; }));
    ::kill(static_cast<pid_t>(stopped.processId()), SIGTERM);
    ASSERT_TRUE(stopped.waitForFinished(60000));
    const QString stoppedErr = QString::fromLocal8Bit(stopped.readAllStandardError());
    EXPECT_EQ(stopped.exitCode(), 128 + SIGTERM) << stoppedErr.toStdString();
    EXPECT_TRUE(stoppedErr.contains("stopped by SIGTERM: ")) << stoppedErr.toStdString();
    const std::vector<IndexRow> kept = readIndex(dir.filePath("stopped"));
    EXPECT_EQ(static_cast<qsizetype>(kept.size()) + 1, fixture::entries(dir.filePath("stopped")).size());
    EXPECT_EQ(lostIn(kept), 0u);
}

// Guards the record panel on a video that is already open (the camera's one connection):
// a number of frames ends by itself while Grab goes on; stopping, by closing the panel or
// by SIGTERM, writes every frame held in memory first (a slow disk holds many). Frames a
// loaded machine makes the source drop are counted, and the index agrees with the panel.
TEST(RecordWindow, RecordsTheOpenVideoAndWritesWhatItHoldsWhenStopped)
{
    QTemporaryDir dir;
    QynVideo video;
    video.setConfigFilePath(testPattern(dir));
    ASSERT_EQ(video.openDevice(), 0) << video.lastErrorText().toStdString();
    RecordWindow window;
    auto* record = window.findChild<QPushButton*>("cmdRecord");
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->isEnabled()) << "no source yet";
    window.setSource(&video.frameListeners(), {});
    window.show();
    ASSERT_TRUE(record->isEnabled());
    const auto setUp = [&](const char* folder, const char* length, int amount, const char* format) {
        window.findChild<QLineEdit*>("txtFolder")->setText(dir.filePath(folder));
        auto* lengths = window.findChild<QComboBox*>("cmbLength");
        lengths->setCurrentIndex(lengths->findText(length));
        window.findChild<QSpinBox*>("spnLength")->setValue(amount);
        auto* formats = window.findChild<QComboBox*>("cmbFormat");
        formats->setCurrentIndex(formats->findText(format));
    };
    // The index against the panel's summary: nothing lost for want of memory or unwritten.
    const auto complete = [&](const char* folder) {
        const std::vector<IndexRow> rows = readIndex(dir.filePath(folder));
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].sequence, i + 1) << folder;
        const QString expected = QStringLiteral("Recorded %1 frames, %2 lost (0 for want of memory)")
                                     .arg(rows.size())
                                     .arg(lostIn(rows));
        EXPECT_TRUE(window.statusText().startsWith(expected)) << window.statusText().toStdString();
        return rows.size();
    };

    setUp("counted", "Frames", 25, "PNG files");
    record->click();
    ASSERT_TRUE(window.recording()) << window.statusText().toStdString();
    EXPECT_EQ(record->accessibleName(), "Stop recording");
    QynImage slot;
    video.prepareImage(slot);
    EXPECT_EQ(video.grab(slot), 0) << "Grab shares the stream with the recording";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.recording(); }, 10000));
    EXPECT_EQ(complete("counted"), 25u);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("counted/frame-000025.png")));

    // A disk that takes 20 ms a frame, against 100 frames a second.
    QynRecorder::beforeWrite = [](std::uint64_t) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    for (const bool bySignal : {false, true}) {
        const char* folder = bySignal ? "signalled" : "closed";
        setUp(folder, "Until stopped", 1, "One multi-page TIFF");
        QSignalSpy signalled(&window, &RecordWindow::stopSignalled);
        ASSERT_TRUE(window.startRecording()) << window.statusText().toStdString();
        QTest::qWait(400);
        if (bySignal) {
            ::raise(SIGTERM);
            ASSERT_TRUE(QTest::qWaitFor([&] { return signalled.size() == 1; }, 10000));
            EXPECT_EQ(signalled[0][0].toInt(), SIGTERM);
        } else {
            window.close();
        }
        EXPECT_FALSE(window.recording()) << folder;
        EXPECT_GT(complete(folder), 10u);
    }
    QynRecorder::beforeWrite = nullptr;
}

}  // namespace
