#include "QynV4l2Device.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

QynV4l2FileDevice::QynV4l2FileDevice(int fd, QString name)
    : fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)), dupError_(fd_ < 0 ? errno : 0), name_(std::move(name))
{
}

QynV4l2FileDevice::~QynV4l2FileDevice()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int QynV4l2FileDevice::call(unsigned long request, void* argument) const
{
    if (fd_ < 0)
        return dupError_;
    int result;
    do
        result = ::ioctl(fd_, request, argument);
    while (result < 0 && errno == EINTR);
    return result < 0 ? errno : 0;
}

int QynV4l2FileDevice::queryControl(v4l2_queryctrl& query)
{
    return call(VIDIOC_QUERYCTRL, &query);
}

int QynV4l2FileDevice::queryMenu(v4l2_querymenu& menu)
{
    return call(VIDIOC_QUERYMENU, &menu);
}

int QynV4l2FileDevice::getControl(v4l2_control& control)
{
    return call(VIDIOC_G_CTRL, &control);
}

int QynV4l2FileDevice::setControl(v4l2_control& control)
{
    return call(VIDIOC_S_CTRL, &control);
}
