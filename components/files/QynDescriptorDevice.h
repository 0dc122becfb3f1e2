#pragma once

#include <QIODevice>

// A write-only device on a file descriptor the caller keeps open. Each write is carried
// on until every byte is written or the system refuses one, and a refusal leaves its
// reason ("No space left on device"): a QFile stops at a short write without an error,
// so a disk that fills up in the middle of a write reads as no error at all.
class QynDescriptorDevice final : public QIODevice {
public:
    explicit QynDescriptorDevice(int fd);
    bool isSequential() const override { return true; }
    // The write that failed, with the reason in errorString().
    bool failed() const { return failed_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    int fd_;
    bool failed_ = false;
};
