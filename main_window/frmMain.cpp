// The main window's layout, components, start-up and shutdown.
#include "frmMain.h"

#include "BusyCursor.h"
#include "CameraWindow.h"
#include "DialogPaths.h"
#include "RecordWindow.h"
#include "ListComboBox.h"
#include "MeasureWindow.h"
#include "MsgBox.h"
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynDisplayEx.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"
#include "QynTwips.h"
#include "QynVideo.h"
#include "VideoConfFolder.h"
#include "WindowDesign.h"
#include "frmFileLoad.h"
#include "frmFileSave.h"
#include "frmSelectVideoConfFile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include <chrono>
#include <thread>

namespace {

// Stands in for a component that could not be created: every call fails, so the
// handlers go on as they do after any failing call.
class MissingComponent final : public QynComponent {
public:
    explicit MissingComponent(QString progId) : progId_(std::move(progId)) {}
    QString progId() const override { return progId_; }
    QynCallResult invoke(std::int32_t, QynCallKind, std::span<const QynVariant>) noexcept override
    {
        return {QynStatus::Failed, {}};
    }

private:
    QString progId_;
};

QynStoredSettings imageSlotSettings()
{
    return {512, 480, 8, 1, 1, 0, 512};
}

// A property read as a double (the display's container properties are single-precision twips).
std::optional<double> getReal(QynComponent& component, std::int32_t dispId)
{
    const QynCallResult result = component.invoke(dispId, QynCallKind::PropertyGet, {});
    if (!result.ok())
        return std::nullopt;
    if (const auto* v = std::get_if<double>(&result.value))
        return *v;
    if (const auto* v = std::get_if<std::int32_t>(&result.value))
        return *v;
    return std::nullopt;
}

}  // namespace

frmMain::frmMain(Options options) : options_(std::move(options))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("QynSample - Color And Gray Image Conversion"));
    qyn::requestDesignFont(this);
    resize(qyn::twipsToPixels(11640), qyn::twipsToPixels(7800));

    createComponents();
    createControls();
    createLiveControls();
    applyTabOrder();
    connectHandlers();
}

frmMain::~frmMain()
{
    endLive();
    // The child windows go after the components: a recording ends while its video is whole.
    if (recordWindow_)
        recordWindow_->setSource(nullptr, QStringLiteral("the program ends"));
    if (QynVideo* video = video_ ? video_->asVideo() : nullptr)
        video->onControlsGone({});
    // The measure window watches the display, whose widget is a child of this window;
    // both go while the window is whole.
    measureWindow_.reset();
    display_.reset();
}

void frmMain::createComponents()
{
    auto create = [this](const char* progIdText, const QynStoredSettings& settings,
                         const QString& instanceName) -> std::unique_ptr<QynComponent> {
        const QString progId = QString::fromLatin1(progIdText);
        std::unique_ptr<QynComponent> component =
            options_.factory ? options_.factory(progId, settings, instanceName)
                             : QynComponentRegistry::standard().create(progId, settings);
        if (!component)
            component = std::make_unique<MissingComponent>(progId);
        return component;
    };
    for (int i = 0; i < 4; ++i)
        slots_[static_cast<std::size_t>(i)] =
            create(QynImage::ProgId, imageSlotSettings(), QStringLiteral("QynImage%1").arg(i + 1));
    display_ = create(QynDisplayEx::ProgId, {}, QStringLiteral("QynDisplayEx1"));
    video_ = create(QynVideo::ProgId, {QString(), QString()}, QStringLiteral("QynVideo1"));
    fileAccess_ = create(QynFileAccess::ProgId, {QString()}, QStringLiteral("QynFileAccess1"));
    changeImage_ =
        create(QynChangeImage::ProgId, {-1, -1, -1, -1}, QStringLiteral("QynChangeImage1"));
    counter_ = create(QynPerformanceCounter::ProgId, {}, QStringLiteral("QynPerformanceCounter1"));

    if (QWidget* area = display_->widget()) {
        area->setParent(this);
        area->setObjectName(QStringLiteral("QynDisplayEx1"));
        area->setGeometry(qyn::twipsRect(3600, 120, 7935, 7455));
        area->show();
    }
}

void frmMain::createControls()
{
    auto place = [](QWidget* widget, const char* name, QRect rect) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(rect);
    };
    auto button = [&](QWidget* parent, const char* name, const QString& caption, QRect rect) {
        auto* b = new QPushButton(caption, parent);
        place(b, name, rect);
        b->setAutoDefault(false);
        return b;
    };
    auto label = [&](QWidget* parent, const char* name, const QString& caption, QRect rect,
                     bool rightAligned) {
        auto* l = new QLabel(caption, parent);
        place(l, name, rect);
        l->setAlignment((rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        l->setWordWrap(!rightAligned);
        return l;
    };
    auto field = [&](QWidget* parent, const char* name, QRect rect) {
        auto* t = new QLineEdit(QStringLiteral("0"), parent);
        place(t, name, rect);
        t->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return t;
    };
    using qyn::twipsRect;

    Frame1 = new QGroupBox(QStringLiteral("Image Conversion"), this);
    place(Frame1, "Frame1", twipsRect(120, 120, 3375, 4155));
    cmbAutoBin = new ListComboBox(false, Frame1);
    place(cmbAutoBin, "cmbAutoBin", twipsRect(120, 480, 3135, 315));
    cmdButton4 = button(Frame1, "cmdButton4", QStringLiteral("Grab1"), twipsRect(240, 1080, 1215, 375));
    cmdButton5 = button(Frame1, "cmdButton5", QStringLiteral("Grab2"), twipsRect(240, 1560, 1215, 375));
    cmdButton6 = button(Frame1, "cmdButton6", QStringLiteral("Grab3"), twipsRect(240, 2040, 1215, 375));
    cmdButton1 = button(Frame1, "cmdButton1", QStringLiteral("Image 1"), twipsRect(1800, 1080, 1215, 375));
    cmdButton2 = button(Frame1, "cmdButton2", QStringLiteral("Image 2"), twipsRect(1800, 1560, 1215, 375));
    cmdButton3 = button(Frame1, "cmdButton3", QStringLiteral("Image 3"), twipsRect(1800, 2040, 1215, 345));
    lblParam1 = label(Frame1, "lblParam1", QStringLiteral("Param1"), twipsRect(360, 2760, 1695, 195), true);
    lblParam2 = label(Frame1, "lblParam2", QStringLiteral("Param2"), twipsRect(360, 3120, 1695, 195), true);
    lblParam3 = label(Frame1, "lblParam3", QStringLiteral("Param3"), twipsRect(360, 3480, 1695, 195), true);
    txtParam1 = field(Frame1, "txtParam1", twipsRect(2160, 2640, 735, 315));
    txtParam2 = field(Frame1, "txtParam2", twipsRect(2160, 3000, 735, 315));
    txtParam3 = field(Frame1, "txtParam3", twipsRect(2160, 3360, 735, 315));
    Label2 = label(Frame1, "Label2",
                   QStringLiteral("A full-screen image of the processing object can be viewed."),
                   twipsRect(120, 3720, 3015, 375), false);

    Label3 = label(this, "Label3", QStringLiteral("Display Image"), twipsRect(240, 4680, 1215, 255), false);
    cmbDispImage = new ListComboBox(true, this);
    place(cmbDispImage, "cmbDispImage", twipsRect(1560, 4680, 1815, 315));
    cmbDispImage->setEditText(QStringLiteral("Combo1"));
    cmdExecute = button(this, "cmdExecute", QStringLiteral("Execute"), twipsRect(120, 6480, 1575, 495));
    cmdSaveImage = button(this, "cmdSaveImage", QStringLiteral("Save Image"), twipsRect(1920, 6480, 1575, 495));
    Label1 = label(this, "Label1", QStringLiteral("Time"), twipsRect(240, 7320, 855, 195), true);
    txtExecuteTime = field(this, "txtExecuteTime", twipsRect(1440, 7200, 1695, 315));
    // Beyond the design, in the free space between the display selection and Execute:
    // "Live" (made with the live view) and "Camera settings..." on a row, "Record..." and
    // "Measure" in the columns of Execute and Save Image, the live status line below.
    cmdCamera = button(this, "cmdCamera", QStringLiteral("Camera settings..."), twipsRect(1275, 5070, 2220, 345));
    cmdCamera->setAccessibleName(QStringLiteral("Camera settings"));
    cmdCamera->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    cmdCamera->setToolTip(QStringLiteral("The open camera's settings (Ctrl+K)"));
    cmdCamera->setEnabled(false);
    cmdRecording = button(this, "cmdRecording", QStringLiteral("Record..."), twipsRect(120, 5460, 1575, 345));
    cmdRecording->setAccessibleName(QStringLiteral("Record"));
    cmdRecording->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    cmdRecording->setToolTip(QStringLiteral("Record the open camera's frames into files (Ctrl+R)"));
    cmdRecording->setEnabled(false);
    cmdMeasure = button(this, "cmdMeasure", QStringLiteral("Measure"), twipsRect(1920, 5460, 1575, 345));
    cmdMeasure->setAccessibleName(QStringLiteral("Measure"));
    cmdMeasure->setToolTip(QStringLiteral("Histogram, line profile and region statistics (Ctrl+M)"));

    // Fields are named by the labels beside them, for screen readers as for the eye.
    lblParam1->setBuddy(txtParam1);
    lblParam2->setBuddy(txtParam2);
    lblParam3->setBuddy(txtParam3);
    Label1->setBuddy(txtExecuteTime);
    Label3->setBuddy(cmbDispImage);
    setParamCaption(lblParam1, txtParam1, QStringLiteral("Param1"));
    setParamCaption(lblParam2, txtParam2, QStringLiteral("Param2"));
    setParamCaption(lblParam3, txtParam3, QStringLiteral("Param3"));
    txtExecuteTime->setAccessibleName(QStringLiteral("Time"));
    cmbDispImage->setAccessibleName(QStringLiteral("Display Image"));
    cmbAutoBin->setAccessibleName(QStringLiteral("Image Conversion"));
}

void frmMain::applyTabOrder()
{
    // The design's tab order; labels and the frame take no focus.
    QWidget* const order[] = {cmdSaveImage, cmdExecute, txtExecuteTime, display_->widget(),
                              cmbAutoBin,   txtParam3,  txtParam2,      txtParam1,
                              cmbDispImage, cmdButton1, cmdButton2,     cmdButton3,
                              cmdButton4,   cmdButton5, cmdButton6,
                              // beyond the design: after its controls
                              chkLive,      cmdCamera,  cmdRecording,   cmdMeasure};
    QWidget* previous = nullptr;
    for (QWidget* widget : order) {
        if (!widget)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    cmdSaveImage->setFocus();
}

void frmMain::connectHandlers()
{
    connect(cmbAutoBin, &ListComboBox::click, this, &frmMain::cmbAutoBin_Click);
    connect(cmbDispImage, &ListComboBox::click, this, &frmMain::cmbDispImage_Click);
    connect(cmdExecute, &QPushButton::clicked, this, &frmMain::cmdExecute_Click);
    connect(cmdButton1, &QPushButton::clicked, this, &frmMain::cmdButton1_Click);
    connect(cmdButton2, &QPushButton::clicked, this, &frmMain::cmdButton2_Click);
    connect(cmdButton3, &QPushButton::clicked, this, &frmMain::cmdButton3_Click);
    connect(cmdButton4, &QPushButton::clicked, this, &frmMain::cmdButton4_Click);
    connect(cmdButton5, &QPushButton::clicked, this, &frmMain::cmdButton5_Click);
    connect(cmdButton6, &QPushButton::clicked, this, &frmMain::cmdButton6_Click);
    connect(cmdSaveImage, &QPushButton::clicked, this, &frmMain::cmdSaveImage_Click);
    connect(cmdMeasure, &QPushButton::clicked, this, &frmMain::cmdMeasure_Click);
    auto* measureKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
    measureKey->setObjectName(QStringLiteral("shortcutMeasure"));
    connect(measureKey, &QShortcut::activated, this, &frmMain::cmdMeasure_Click);
    connect(cmdCamera, &QPushButton::clicked, this, &frmMain::cmdCamera_Click);
    connect(cmdRecording, &QPushButton::clicked, this, &frmMain::cmdRecording_Click);
}

void frmMain::setParamCaption(QLabel* label, QLineEdit* field, const QString& caption)
{
    label->setText(caption);
    field->setAccessibleName(caption);
}

frmSelectVideoConfFile& frmMain::videoConfDialog()
{
    if (!videoConfDialog_)
        videoConfDialog_ = std::make_unique<frmSelectVideoConfFile>(
            options_.videoConfFolder.isEmpty() ? installedVideoConfFolder() : options_.videoConfFolder);
    return *videoConfDialog_;
}

QString frmMain::installedVideoConfFolder()
{
    return QStringLiteral(QYN_VIDEO_CONF_FOLDER);
}

QString frmMain::fileDialogFolder() const
{
    return qyn::fileDialogFolder(options_.applicationFolder.isEmpty()
                                     ? QCoreApplication::applicationDirPath()
                                     : options_.applicationFolder);
}

frmFileLoad& frmMain::fileLoadDialog()
{
    if (!fileLoadDialog_)
        fileLoadDialog_ = std::make_unique<frmFileLoad>(fileDialogFolder());
    return *fileLoadDialog_;
}

MeasureWindow& frmMain::measureWindow()
{
    if (!measureWindow_) {
        measureWindow_ = std::make_unique<MeasureWindow>();
        // A wrapped or missing display has no widget of its own to measure.
        measureWindow_->setDisplay(qobject_cast<QynDisplayEx*>(display_->widget()));
    }
    return *measureWindow_;
}

void frmMain::cmdMeasure_Click()
{
    MeasureWindow& window = measureWindow();
    window.show();
    window.raise();
    window.activateWindow();
}

frmFileSave& frmMain::fileSaveDialog()
{
    if (!fileSaveDialog_)
        fileSaveDialog_ = std::make_unique<frmFileSave>(fileDialogFolder());
    return *fileSaveDialog_;
}

void frmMain::Form_Load()
{
    // Every step is tried on its own: a failing call is passed over and the next one runs.
    // Only the two result-code tests are reported.
    blnVideoInUse_ = false;
    show();

    frmSelectVideoConfFile& dialog = videoConfDialog();
    dialog.showModal();
    strVideoConfPath_ = dialog.strVideoConfFilePath();

    if (!strVideoConfPath_.isEmpty()) {
        QynComponent& video = *video_;
        std::int32_t code = 0;
        {
            const BusyCursor busy;
            qyn::put(video, QynVideo::ConfigFilePath, strVideoConfPath_);
            qyn::call(video, QynVideo::OpenDevice);
            code = qyn::lastResult(video, QynVideo::GetLastResult);
        }
        if (code != 0) {
            MsgBox(QStringLiteral("Opening of a video device went wrong.\r\n"
                                  "It becomes use of only a image file."),
                   MsgBoxIcon::Exclamation, QStringLiteral("Error"));
        } else {
            {
                const BusyCursor busy;
                if (options_.sleep)
                    options_.sleep(350);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(350));
                qyn::call(video, QynVideo::PrepareImage, {slotRef(1)});
                // Slot 2 takes slot 1's capture format; a value that cannot be read is not written.
                for (const auto id : {QynImage::ImageType, QynImage::FormatParam2, QynImage::FormatParam1})
                    if (const auto value = qyn::getInt32(imageSlot(1), id))
                        qyn::put(imageSlot(2), id, *value);
                qyn::call(video, QynVideo::Grab, {slotRef(1)});
                code = qyn::lastResult(video, QynVideo::GetLastResult);
            }
            if (code != 0)
                MsgBox(QStringLiteral("Taking in of video went wrong.\r\n"
                                      "It becomes use of only a image file."),
                       MsgBoxIcon::Exclamation, QStringLiteral("Error"));
            else
                blnVideoInUse_ = true;
        }
    }

    qyn::call(*display_, QynDisplayEx::Initialize);
    showSlot(1);
    cmbAutoBin->addItemAt(0, QStringLiteral("Gray memory channel composition"));
    cmbAutoBin->addItemAt(1, QStringLiteral("Color memory channel decomposition"));
    cmbAutoBin->addItemAt(2, QStringLiteral("Conversion of a gray image of a color"));
    cmbAutoBin->addItemAt(3, QStringLiteral("Conversion of a color image of a gray"));
    for (int i = 0; i < 4; ++i)
        cmbDispImage->addItemAt(i, QStringLiteral("image %1").arg(i + 1));
    cmbAutoBin->setListIndex(0);
    cmbDispImage->setListIndex(0);
    enableLive();
    cmdCamera->setEnabled(blnVideoInUse_);
    cmdRecording->setEnabled(blnVideoInUse_);
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

bool frmMain::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // A window manager frames the window after it is shown and sized, and that sends no
    // resize: the outer size the display follows changes without one.
    if ((event->type() == QEvent::Move || event->type() == QEvent::WindowActivate)
        && resizedFor_.isValid() && frameGeometry().size() != resizedFor_)
        Form_Resize();
    return handled;
}

void frmMain::Form_Resize()
{
    // Only the display follows the window; the rule works on the outer size in twips.
    const auto left = getReal(*display_, QynDisplayEx::Left);
    const auto top = getReal(*display_, QynDisplayEx::Top);
    if (!left || !top)
        return;
    const QRect outer = frameGeometry();
    resizedFor_ = outer.size();
    const float width = static_cast<float>(qyn::pixelsToTwips(outer.width()))
                        - static_cast<float>(*left) - 200.0f;
    const float height = static_cast<float>(qyn::pixelsToTwips(outer.height()))
                         - static_cast<float>(*top) - 500.0f;
    // A window smaller than the controls beside the display leaves it at zero size.
    qyn::put(*display_, QynDisplayEx::Width, static_cast<double>(std::max(width, 0.0f)));
    qyn::put(*display_, QynDisplayEx::Height, static_cast<double>(std::max(height, 0.0f)));
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (measureWindow_)
        measureWindow_->close();  // it would keep the program running on its own
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmMain::Form_Unload()
{
    endLive();
    // A recording writes the frames it holds before the camera closes.
    if (recordWindow_) {
        recordWindow_->setSource(nullptr, QStringLiteral("the camera is closed"));
        recordWindow_->close();
    }
    if (cameraWindow_)
        cameraWindow_->close();
    cmdCamera->setEnabled(false);
    cmdRecording->setEnabled(false);
    if (blnVideoInUse_)
        qyn::call(*video_, QynVideo::CloseDevice);
}
