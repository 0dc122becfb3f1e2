#pragma once

#include <QIODevice>

#include <cstdint>
#include <span>

// A read-only device over bytes held elsewhere, for Qt's image readers. Unlike QBuffer it
// refuses a seek past the end quietly: readers of cut files seek there, and the result
// code, not standard error, is where a load reports its trouble.
class QynSpanDevice final : public QIODevice {
public:
    explicit QynSpanDevice(std::span<const std::uint8_t> bytes);

    bool isSequential() const override { return false; }
    qint64 size() const override { return static_cast<qint64>(bytes_.size()); }
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::span<const std::uint8_t> bytes_;
};
