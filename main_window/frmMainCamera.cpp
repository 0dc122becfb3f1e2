// The camera window and the record panel: both on the capture's own connection to the
// camera; the changes the camera window asks of the stream (a restart for a new region,
// a software trigger mode).
#include "frmMain.h"

#include "BusyCursor.h"
#include "CameraWindow.h"
#include "QynCameraControlModel.h"
#include "QynVideo.h"
#include "RecordWindow.h"

#include <QPushButton>

CameraWindow& frmMain::cameraWindow()
{
    if (!cameraWindow_) {
        cameraWindow_ = new CameraWindow(this);
        // Queued: a restart drops the controls the window is still inside of.
        connect(cameraWindow_, &CameraWindow::stopNeeded, this, &frmMain::restartCamera, Qt::QueuedConnection);
        connect(cameraWindow_->model(), &QynCameraControlModel::written, this, &frmMain::followTrigger,
                Qt::QueuedConnection);
        if (QynVideo* video = video_->asVideo())
            video->onControlsGone([this] {
                cameraWindow_->setCamera(nullptr, QStringLiteral("the stream is restarting"), {}, {});
                // The new stream's controls, once it runs (a restart, a rebuilt lost stream).
                QMetaObject::invokeMethod(this, [this] {
                    if (cameraWindow_->isVisible())
                        showCameraControls();
                }, Qt::QueuedConnection);
            });
    }
    return *cameraWindow_;
}

void frmMain::showCameraControls()
{
    CameraWindow& window = cameraWindow();
    QynVideo* video = video_->asVideo();
    QString why = QStringLiteral("no camera is open");
    QynCameraControls* controls = video && blnVideoInUse_ ? video->controls(&why) : nullptr;
    if (!controls || controls != window.model()->controls())
        window.setCamera(controls, why, strVideoConfPath_, video ? video->source() : QString());
}

void frmMain::cmdCamera_Click()
{
    showCameraControls();
    CameraWindow& window = cameraWindow();
    window.show();
    window.raise();
    window.activateWindow();
}

void frmMain::restartCamera(const QString& name, const QString& value)
{
    QynVideo* video = video_->asVideo();
    if (!video || !blnVideoInUse_)
        return;
    std::int32_t code = 0;
    {
        const BusyCursor busy;
        code = video->restartWith({{name, value}});
    }
    showCameraControls();
    cameraWindow().showStatus(code == 0 ? QStringLiteral("%1 = %2 set; the stream restarted with it").arg(name, value)
                                        : QStringLiteral("%1 kept: %2").arg(name, video->lastErrorText()));
}

void frmMain::followTrigger(const QString& name)
{
    QynVideo* video = video_->asVideo();
    if (!video || !blnVideoInUse_ || !name.startsWith(QLatin1String("Trigger")))
        return;
    const bool before = video->softwareTriggered();
    std::int32_t code = 0;
    {
        const BusyCursor busy;
        code = video->followTrigger();
    }
    if (video->softwareTriggered() == before && code == 0)
        return;
    showCameraControls();
    if (code != 0)
        cameraWindow().showStatus(QStringLiteral("The trigger mode needs a restart that failed: %1").arg(video->lastErrorText()));
    else
        cameraWindow().showStatus(video->softwareTriggered()
                                      ? QStringLiteral("Software trigger mode: each Grab triggers one frame")
                                      : QStringLiteral("Trigger mode off: the camera streams at its own rate again"));
}

RecordWindow& frmMain::recordWindow()
{
    if (!recordWindow_) {
        recordWindow_ = new RecordWindow(this);
        // A stop signal during a recording ends the program once the frames are written.
        connect(recordWindow_, &RecordWindow::stopSignalled, this, &QWidget::close);
    }
    return *recordWindow_;
}

void frmMain::cmdRecording_Click()
{
    RecordWindow& window = recordWindow();
    QynVideo* video = video_->asVideo();
    if (video && blnVideoInUse_)
        window.setSource(&video->frameListeners(), {});
    else
        window.setSource(nullptr, QStringLiteral("no camera is open"));
    window.show();
    window.raise();
    window.activateWindow();
}
