// Live view: the open camera's newest frame on the display while "Live" is on, drawn at
// most once a screen refresh, with a status line of rates and lost frames.
#include "frmMain.h"

#include "QynDisplayEx.h"
#include "QynLiveView.h"
#include "QynTwips.h"
#include "QynVideo.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace {

// How often the status line reads the meters and a lost camera is looked after.
constexpr int StatusEveryMs = 250;

}  // namespace

struct frmMain::Live {
    Live(QynVideo& video, QynDisplayEx& display, std::function<void()> waiting)
        : view(video, std::move(waiting)), display(display)
    {
    }
    QynLiveView view;
    QynDisplayEx& display;
    QTimer draw;    // the next screen refresh, when a frame comes sooner
    QTimer status;
    QynLiveView::Clock::time_point lastDraw;
    std::optional<QynLiveView::Taken> onScreen;  // shown, waiting for its paint
    QMetaObject::Connection painted;
};

void frmMain::LiveEnd::operator()(Live* live) const
{
    delete live;
}

void frmMain::createLiveControls()
{
    chkLive = new QCheckBox(QStringLiteral("&Live"), this);
    chkLive->setObjectName(QStringLiteral("chkLive"));
    chkLive->setAccessibleName(QStringLiteral("Live"));
    chkLive->setGeometry(qyn::twipsRect(120, 5070, 1095, 345));
    chkLive->setEnabled(false);  // until a camera is open
    lblLiveStatus = new QLabel(this);
    lblLiveStatus->setObjectName(QStringLiteral("lblLiveStatus"));
    // Its text is what a screen reader reads as its name.
    lblLiveStatus->setGeometry(qyn::twipsRect(120, 5850, 3375, 600));
    lblLiveStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblLiveStatus->setWordWrap(true);
    lblLiveStatus->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    lblLiveStatus->setFocusPolicy(Qt::NoFocus);
    connect(chkLive, &QCheckBox::toggled, this, &frmMain::chkLive_Toggled);
}

void frmMain::enableLive()
{
    chkLive->setEnabled(blnVideoInUse_ && dynamic_cast<QynVideo*>(video_.get())
                        && dynamic_cast<QynDisplayEx*>(display_.get()));
}

bool frmMain::liveRunning() const
{
    return live_ && live_->view.running();
}

void frmMain::chkLive_Toggled(bool on)
{
    if (!on) {
        endLive();
        return;
    }
    auto* video = dynamic_cast<QynVideo*>(video_.get());
    auto* display = dynamic_cast<QynDisplayEx*>(display_.get());
    if (!video || !display || !blnVideoInUse_) {
        chkLive->setChecked(false);
        return;
    }
    // The streaming thread only asks for a draw; the window takes the frame when it draws.
    live_.reset(new Live(*video, *display, [this] {
        QMetaObject::invokeMethod(this, &frmMain::liveFrameWaiting, Qt::QueuedConnection);
    }));
    live_->draw.setSingleShot(true);
    live_->draw.setTimerType(Qt::PreciseTimer);
    connect(&live_->draw, &QTimer::timeout, this, &frmMain::drawLiveFrame);
    connect(&live_->status, &QTimer::timeout, this, &frmMain::updateLiveStatus);
    live_->painted = connect(display, &QynDisplayEx::painted, this, [this] {
        if (live_ && live_->onScreen) {
            live_->view.drawn(*live_->onScreen);
            live_->onScreen.reset();
        }
    });
    live_->view.start();
    live_->status.start(StatusEveryMs);
    updateLiveStatus();
}

void frmMain::endLive()
{
    if (!live_)
        return;
    live_->view.stop();
    disconnect(live_->painted);
    live_.reset();
    if (chkLive) {
        const QSignalBlocker quiet(chkLive);
        chkLive->setChecked(false);
    }
    if (lblLiveStatus)
        lblLiveStatus->clear();
}

void frmMain::liveFrameWaiting()
{
    if (!liveRunning() || live_->draw.isActive())
        return;
    // At most one draw a screen refresh: a frame sooner waits for the next one (and is
    // replaced meanwhile by any newer frame).
    const QScreen* where = screen();
    const double hz = where && where->refreshRate() > 1 ? where->refreshRate() : 60.0;
    const auto interval = std::chrono::duration_cast<QynLiveView::Clock::duration>(std::chrono::duration<double>(1.0 / hz));
    const auto since = QynLiveView::Clock::now() - live_->lastDraw;
    if (since >= interval) {
        drawLiveFrame();
        return;
    }
    const auto wait = std::chrono::duration<double, std::milli>(interval - since).count();
    live_->draw.start(int(std::ceil(wait)));
}

void frmMain::drawLiveFrame()
{
    if (!liveRunning())
        return;
    std::optional<QynLiveView::Taken> frame = live_->view.take();
    if (!frame)
        return;
    live_->lastDraw = QynLiveView::Clock::now();
    live_->display.showLiveFrame(frame->pixels);
    live_->onScreen = std::move(frame);
}

void frmMain::updateLiveStatus()
{
    if (!liveRunning())
        return;
    live_->view.tend();  // rebuilds a lost camera's pipeline now and then
    if (!live_)
        return;
    lblLiveStatus->setText(QynLiveView::statusText(live_->view.status(), live_->view.lostAfter()));
}
