#pragma once

#include <QIODevice>

// A write-only device over an open file descriptor that says what went wrong: a write
// that stops part-way (disk full, file size limit) fails as a whole with the system's
// reason in errorString(), where QFile reports a short write with no error at all.
class QynFdDevice final : public QIODevice {
public:
    explicit QynFdDevice(int fd);

    bool isSequential() const override { return true; }
    // Whether a write has failed (errorString() says why).
    bool failed() const { return failed_; }
    // What a failed write's error number means to the operator: "the disk is full", ...
    static QString reason(int error);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    int fd_;
    bool failed_ = false;
};
