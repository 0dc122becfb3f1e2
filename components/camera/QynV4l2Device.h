#pragma once

#include <QString>

#include <linux/videodev2.h>

#include <utility>

// The control calls of a V4L2 device, one function per ioctl, so that a test can describe
// a device without touching /dev. Each returns 0 or the call's errno.
class QynV4l2Device {
public:
    virtual ~QynV4l2Device() = default;
    // The device's name for people: its path, "/dev/video0".
    virtual QString name() const = 0;
    virtual int queryControl(v4l2_queryctrl& query) = 0;  // VIDIOC_QUERYCTRL
    virtual int queryMenu(v4l2_querymenu& menu) = 0;       // VIDIOC_QUERYMENU
    virtual int getControl(v4l2_control& control) = 0;     // VIDIOC_G_CTRL
    virtual int setControl(v4l2_control& control) = 0;     // VIDIOC_S_CTRL
};

// A device through a duplicate of a descriptor open on it, such as v4l2src's
// (`device-fd`): the same open device, not a second opening, and no call ever lands on
// another file should v4l2src close its descriptor and the number be reused.
class QynV4l2FileDevice final : public QynV4l2Device {
public:
    // Duplicates fd; a failed duplicate answers every call with its errno.
    QynV4l2FileDevice(int fd, QString name);
    ~QynV4l2FileDevice() override;
    QynV4l2FileDevice(const QynV4l2FileDevice&) = delete;
    QynV4l2FileDevice& operator=(const QynV4l2FileDevice&) = delete;

    QString name() const override { return name_; }
    int queryControl(v4l2_queryctrl& query) override;
    int queryMenu(v4l2_querymenu& menu) override;
    int getControl(v4l2_control& control) override;
    int setControl(v4l2_control& control) override;

private:
    int call(unsigned long request, void* argument) const;

    int fd_;
    int dupError_ = 0;
    QString name_;
};
