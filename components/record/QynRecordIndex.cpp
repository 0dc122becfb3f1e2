#include "QynRecordIndex.h"

#include "QynFdDevice.h"
#include "QynNativePath.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr char Header[] = "sequence,frame_number,timestamp_ns,lost_before\n";
// Set aside ahead of the rows: far more rows than the files a recording can have in
// flight when its disk fills up.
constexpr std::int64_t ReserveAhead = 64 << 10;
constexpr std::int64_t ReserveStep = 128 << 10;

}  // namespace

QynRecordIndex::~QynRecordIndex()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QString QynRecordIndex::create(const QString& folder, std::uint64_t first)
{
    const QByteArray path = qynPathToNative(folder) + '/' + FileName;
    fd_ = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0)
        return QStringLiteral("cannot create %1: %2").arg(qynPathFromNative(path), QynFdDevice::reason(errno));
    next_ = first;
    if (QString problem = reserve(); !problem.isEmpty())
        return problem;
    device_ = std::make_unique<QynFdDevice>(fd_);
    if (device_->write(Header, sizeof Header - 1) < 0)
        return QStringLiteral("cannot write %1: %2").arg(qynPathFromNative(path), device_->errorString());
    end_ = sizeof Header - 1;
    return {};
}

QString QynRecordIndex::reserve()
{
    if (reserved_ - end_ >= ReserveAhead)
        return {};
    // Blocks past the end that the rows will fill; a file system without this takes
    // its chances with each row.
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, reserved_, ReserveStep) == 0)
        reserved_ += ReserveStep;
    else if (errno != EOPNOTSUPP && errno != ENOSPC)
        return QynFdDevice::reason(errno);
    return {};
}

QString QynRecordIndex::writeRow(const Row& row, bool withSequence)
{
    std::string line;
    if (withSequence)
        line += std::to_string(row.sequence);
    line += ',';
    if (row.number)
        line += std::to_string(*row.number);
    line += ',';
    if (row.timestampNs)
        line += std::to_string(*row.timestampNs);
    line += ',' + std::to_string(row.lostBefore) + '\n';
    if (device_->write(line.data(), static_cast<qint64>(line.size())) < 0)
        return device_->errorString();
    end_ += static_cast<std::int64_t>(line.size());
    ++rows_;
    return reserve();
}

QString QynRecordIndex::settle(const Row& row, bool written)
{
    const std::lock_guard lock(mutex_);
    if (!failure_.isEmpty() || fd_ < 0)
        return failure_;
    early_.emplace(row.sequence, std::pair{row, written});
    return drain(false);
}

QString QynRecordIndex::drain(bool skipGaps)
{
    while (!early_.empty()) {
        auto it = early_.begin();
        if (it->first < next_) {  // settled twice: the first one counts
            early_.erase(it);
            continue;
        }
        if (it->first > next_) {
            if (!skipGaps)
                break;
            carried_ += it->first - next_;  // never settled: lost, and nothing more known
            next_ = it->first;
        }
        auto [settled, wasWritten] = it->second;
        early_.erase(it);
        ++next_;
        settled.lostBefore += carried_;
        if (!wasWritten) {
            carried_ = settled.lostBefore + 1;
            continue;
        }
        carried_ = 0;
        if (QString problem = writeRow(settled, true); !problem.isEmpty()) {
            failure_ = QStringLiteral("cannot write %1: %2").arg(QLatin1String(FileName), problem);
            return failure_;
        }
    }
    return {};
}

QString QynRecordIndex::finish(std::uint64_t lost, const Row& last)
{
    const std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return failure_;
    // Frames settled after one that never was still get their rows.
    if (failure_.isEmpty())
        drain(true);
    early_.clear();
    QString problem = failure_;
    const std::uint64_t trailing = carried_ + lost;
    if (problem.isEmpty() && trailing > 0) {
        Row row = last;
        row.lostBefore = trailing;
        problem = writeRow(row, false);
    }
    carried_ = 0;
    if (::ftruncate(fd_, end_) != 0 && problem.isEmpty())  // the room set aside goes back
        problem = QynFdDevice::reason(errno);
    if (::fdatasync(fd_) != 0 && problem.isEmpty())
        problem = QynFdDevice::reason(errno);
    device_.reset();
    ::close(fd_);
    fd_ = -1;
    if (!problem.isEmpty() && failure_.isEmpty())
        failure_ = QStringLiteral("cannot write %1: %2").arg(QLatin1String(FileName), problem);
    return failure_;
}

std::uint64_t QynRecordIndex::rows() const
{
    const std::lock_guard lock(mutex_);
    return rows_;
}
