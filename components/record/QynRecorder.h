#pragma once

#include "QynFrameRing.h"
#include "QynRecordFrame.h"
#include "QynRecordIndex.h"
#include "QynRecordSettings.h"
#include "QynRecordStatus.h"
#include "QynTiffPages.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Records camera frames into a folder without making the camera wait for the disk.
// push() copies each frame into memory (QynFrameRing) on the thread that delivers it,
// or counts it as lost when the memory budget is used up; writer threads write the
// frames as numbered files, each saved whole or not at all (QynImageEncoder), or as the
// pages of one TIFF (QynTiffPages), and the index frames.csv (QynRecordIndex) gets a row
// for each complete file. stop() writes every frame still in memory first. A file that
// cannot be written (a full disk) ends the recording: what is complete stays, with its
// index, and failure() says what happened.
class QynRecorder {
public:
    explicit QynRecorder(QynRecordSettings settings);
    ~QynRecorder();  // stops as stop() does
    QynRecorder(const QynRecorder&) = delete;
    QynRecorder& operator=(const QynRecorder&) = delete;

    // Prepares the folder and the index and starts the writers; returns an empty text
    // or why the recording cannot start.
    QString start();
    // Takes one frame; from the thread that delivers frames, never waiting on a writer.
    void push(const QynRecordFrame& frame) noexcept;
    // Takes no more frames, writes those in memory, completes the index. Returns the
    // failure that ended the recording, or an empty text. Harmless when called again.
    QString stop();

    QynRecordStatus status() const;
    QString failure() const;
    const QynRecordSettings& settings() const { return settings_; }

    // For tests and benchmarks: called by a writer before it writes each frame, with the
    // frame's sequence number (a test stalls the disk by waiting in it).
    static inline void (*beforeWrite)(std::uint64_t sequence) = nullptr;

private:
    void write();
    bool writeEntry(const QynFrameRing::Entry& entry, QString& why);
    void failWith(const QString& why);
    void stopTaking();

    QynRecordSettings settings_;
    std::unique_ptr<QynFrameRing> ring_;
    QynRecordIndex index_;
    QynTiffPages pages_;
    std::vector<std::thread> writers_;
    std::chrono::steady_clock::time_point start_;
    std::atomic<bool> started_{false};
    std::mutex stopping_;
    bool stopped_ = false;
    std::atomic<std::int64_t> stoppedAfterNs_{-1};

    // The thread that delivers frames.
    std::mutex producer_;
    std::atomic<bool> taking_{false};
    std::uint64_t nextSequence_ = 1;
    std::uint64_t lostSinceTaken_ = 0;   // lost since the last frame taken
    QynRecordIndex::Row lastLost_;        // the last of them

    std::atomic<std::uint64_t> taken_{0};
    std::atomic<std::uint64_t> recorded_{0};
    std::atomic<std::uint64_t> lostBySource_{0};
    std::atomic<std::uint64_t> lostFull_{0};
    std::atomic<std::uint64_t> unwritten_{0};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<bool> limitReached_{false};
    std::atomic<bool> failed_{false};
    mutable std::mutex failureMutex_;
    QString failure_;
};
