#pragma once

#include "QynFdDevice.h"

#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

// The index of a recording, frames.csv: one row a recorded frame, in the order of the
// sequence numbers, written only once the frame's file is complete, so the index never
// names a file that is not there:
//   sequence,frame_number,timestamp_ns,lost_before
// `frame_number` is the camera's own (a GigE Vision block id), `timestamp_ns` the frame's
// time on the source's clock, either empty where the source has none; `lost_before`
// counts the frames lost between the row before and this one (by the camera or the
// network, the ring being full, or a file that could not be written). Frames lost after
// the last recorded one make a last row with an empty sequence number, the number and
// time of the last of them, and their count.
//
// Room for the rows is set aside ahead of them, so the index takes the rows of the files
// completed before a disk filled up.
class QynRecordIndex {
public:
    struct Row {
        std::uint64_t sequence = 0;
        std::optional<std::uint64_t> number;
        std::optional<std::int64_t> timestampNs;
        std::uint64_t lostBefore = 0;
    };

    static constexpr const char* FileName = "frames.csv";

    QynRecordIndex() = default;
    ~QynRecordIndex();
    QynRecordIndex(const QynRecordIndex&) = delete;
    QynRecordIndex& operator=(const QynRecordIndex&) = delete;

    // Creates the index in the folder (where none may be yet) with its header; returns
    // an empty text or why not. The first sequence number to come is `first`.
    QString create(const QString& folder, std::uint64_t first = 1);
    // Settles one frame, from any thread: written (its row goes out once every frame
    // before it is settled) or not (it counts as lost in the next row). Returns an empty
    // text or why the index could not be written.
    QString settle(const Row& row, bool written);
    // Writes the last row for frames lost after the last settled one (`lost` frames, the
    // last of them `last`), gives back the room set aside and syncs the file.
    QString finish(std::uint64_t lost, const Row& last);
    QString finish() { return finish(0, Row{}); }

    std::uint64_t rows() const;

private:
    QString drain(bool skipGaps);
    QString writeRow(const Row& row, bool withSequence);
    QString reserve();

    mutable std::mutex mutex_;
    int fd_ = -1;
    std::unique_ptr<QynFdDevice> device_;  // writes fd_ whole or says why not
    std::uint64_t next_ = 1;                      // the sequence number settled next
    std::map<std::uint64_t, std::pair<Row, bool>> early_;  // settled before their turn
    std::uint64_t carried_ = 0;                   // lost frames for the next row
    std::uint64_t rows_ = 0;
    std::int64_t end_ = 0;                        // bytes written
    std::int64_t reserved_ = 0;                   // bytes set aside from the start
    QString failure_;
};
