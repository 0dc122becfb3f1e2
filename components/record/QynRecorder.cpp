#include "QynRecorder.h"

#include "QynFileResult.h"
#include "QynImageEncoder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <new>

namespace {

// A multi-page TIFF that may grow past this is written as BigTIFF (64-bit offsets).
constexpr std::uint64_t ClassicTiffBytes = (std::uint64_t{4} << 30) - (std::uint64_t{64} << 20);
constexpr std::uint64_t PageOverhead = 512;  // a page's directory and tags

// Why the folder cannot take a recording, or an empty text. Creates it when missing.
QString prepareFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty())
        return QStringLiteral("no folder given");
    if (!info.exists() && !QDir().mkdir(folder))
        return QStringLiteral("cannot create the folder %1").arg(folder);
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("%1 is not a folder").arg(folder);
    const QDir dir(folder);
    const QStringList taken = dir.entryList({QString::fromLatin1(QynRecordIndex::FileName),
                                             QString::fromLatin1(QynRecordSettings::PagesFileName),
                                             QString::fromLatin1(QynRecordSettings::FilePrefix) + '*'},
                                            QDir::AllEntries | QDir::Hidden | QDir::System);
    if (!taken.isEmpty())
        return QStringLiteral("%1 holds a recording already (%2); choose another folder").arg(folder, taken.front());
    return {};
}

}  // namespace

QynRecorder::QynRecorder(QynRecordSettings settings) : settings_(std::move(settings))
{
}

QynRecorder::~QynRecorder()
{
    stop();
}

QString QynRecorder::start()
{
    if (started_)
        return QStringLiteral("the recording has started already");
    if (QString problem = prepareFolder(settings_.folder); !problem.isEmpty())
        return problem;
    if (QString problem = index_.create(settings_.folder); !problem.isEmpty())
        return problem;
    if (settings_.format == QynRecordSettings::Format::TiffPages) {
        if (QString problem = pages_.create(QDir(settings_.folder).filePath(QString::fromLatin1(QynRecordSettings::PagesFileName)));
            !problem.isEmpty()) {
            index_.finish();
            return problem;
        }
    }
    const std::size_t memory = settings_.memoryBytes > 0 ? settings_.memoryBytes : QynRecordSettings::defaultMemoryBytes();
    ring_ = std::make_unique<QynFrameRing>(memory);
    const int writers = settings_.format == QynRecordSettings::Format::TiffPages
        ? 1
        : std::clamp(settings_.writers, 1, QynRecordSettings::MaxWriters);
    start_ = std::chrono::steady_clock::now();
    taking_ = true;
    started_ = true;
    for (int i = 0; i < writers; ++i)
        writers_.emplace_back([this] { write(); });
    return {};
}

void QynRecorder::push(const QynRecordFrame& frame) noexcept
{
    if (!taking_.load(std::memory_order_relaxed))
        return;
    const std::lock_guard lock(producer_);
    if (!taking_)
        return;
    lostBySource_ += frame.lostBefore;
    const std::uint64_t lost = lostSinceTaken_ + frame.lostBefore;
    if (ring_->push(frame, nextSequence_, lost)) {
        ++nextSequence_;
        lostSinceTaken_ = 0;
        if (++taken_ == settings_.frameLimit.value_or(0)) {
            limitReached_ = true;
            taking_ = false;
        }
        return;
    }
    ++lostFull_;
    lostSinceTaken_ = lost + 1;
    lastLost_ = {0, frame.number, frame.timestampNs, 0};
}

void QynRecorder::write()
{
    while (std::optional<QynFrameRing::Entry> entry = ring_->pop()) {
        const QynRecordIndex::Row row{entry->sequence, entry->number, entry->timestampNs, entry->lostBefore};
        bool written = false;
        QString why;
        if (!failed_) {
            if (beforeWrite)
                beforeWrite(entry->sequence);
            try {
                written = writeEntry(*entry, why);
            } catch (const std::bad_alloc&) {
                why = QStringLiteral("no memory to write frame %1").arg(entry->sequence);
            }
        }
        if (written) {
            bytesWritten_ += entry->pixels->byteCount();
            ++recorded_;
        } else {
            ++unwritten_;
        }
        const QString indexProblem = index_.settle(row, written);
        ring_->recycle(std::move(*entry));
        if (!why.isEmpty())
            failWith(why);
        else if (!indexProblem.isEmpty())
            failWith(indexProblem);
    }
}

bool QynRecorder::writeEntry(const QynFrameRing::Entry& entry, QString& why)
{
    if (settings_.format == QynRecordSettings::Format::TiffPages) {
        if (pages_.pages() == 0) {
            const std::uint64_t page = entry.pixels->format() == QynPixelFormat::Gray8 ? entry.pixels->byteCount()
                                                                                       : entry.pixels->byteCount() / 4 * 3;
            pages_.setBigTiff(!settings_.frameLimit
                              || *settings_.frameLimit > ClassicTiffBytes / (page + PageOverhead));
        }
        why = pages_.append(*entry.pixels);
        return why.isEmpty();
    }
    const QString path = settings_.framePath(entry.sequence);
    QString reason;
    const std::int32_t code = QynImageEncoder::write(path, *entry.pixels, &reason);
    if (code != QynFileResult::Success)
        why = QStringLiteral("cannot write %1: %2 (%3)").arg(path, reason).arg(code);
    return code == QynFileResult::Success;
}

void QynRecorder::stopTaking()
{
    const std::lock_guard lock(producer_);
    taking_ = false;
}

void QynRecorder::failWith(const QString& why)
{
    {
        const std::lock_guard lock(failureMutex_);
        if (failure_.isEmpty())
            failure_ = why;
    }
    failed_ = true;
    stopTaking();
    // What waits in memory can no longer be written: it is lost, and the index says so.
    for (QynFrameRing::Entry& left : ring_->discard()) {
        ++unwritten_;
        index_.settle({left.sequence, left.number, left.timestampNs, left.lostBefore}, false);
    }
}

QString QynRecorder::stop()
{
    const std::lock_guard stopping(stopping_);
    if (!started_ || stopped_)
        return failure();
    stopped_ = true;
    stopTaking();
    ring_->close();
    for (std::thread& writer : writers_)
        writer.join();
    writers_.clear();
    stoppedAfterNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_).count();
    std::uint64_t lostAtTheEnd = 0;
    QynRecordIndex::Row lastLost;
    {
        const std::lock_guard lock(producer_);
        lostAtTheEnd = lostSinceTaken_;
        lastLost = lastLost_;
    }
    QString problem = index_.finish(lostAtTheEnd, lastLost);
    if (const QString closed = pages_.close(); problem.isEmpty())
        problem = closed;
    if (!problem.isEmpty()) {
        const std::lock_guard lock(failureMutex_);
        if (failure_.isEmpty())
            failure_ = problem;
        failed_ = true;
    }
    return failure();
}

QynRecordStatus QynRecorder::status() const
{
    QynRecordStatus status;
    if (!started_)
        return status;
    status.taken = taken_;
    status.recorded = recorded_;
    status.lostFull = lostFull_;
    status.lost = lostBySource_ + lostFull_ + unwritten_;
    status.ringBytes = ring_->heldBytes();
    status.ringBudget = ring_->budget();
    status.bytesWritten = bytesWritten_;
    const std::int64_t stoppedAfter = stoppedAfterNs_;
    status.seconds = stoppedAfter >= 0 ? static_cast<double>(stoppedAfter) / 1e9
                                       : std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    status.limitReached = limitReached_;
    status.failed = failed_;
    return status;
}

QString QynRecorder::failure() const
{
    const std::lock_guard lock(failureMutex_);
    return failure_;
}
