#include "QynV4l2Device.h"

#include <cerrno>
#include <sys/ioctl.h>

int QynV4l2FileDevice::call(unsigned long request, void* argument) const
{
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
