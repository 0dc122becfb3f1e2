#pragma once

#include "QynComponentRegistry.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CameraWindow;
class RecordWindow;
class ListComboBox;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class MeasureWindow;
class frmFileLoad;
class frmFileSave;
class frmSelectVideoConfFile;
struct ConversionRecipe;

// The main window: the image conversion workbench. It owns the six components (four
// image slots, display, video, file access, conversion, timer) and calls them only
// through their dispatch ids; the handlers are named after control and event.
class frmMain final : public QWidget {
    Q_OBJECT

public:
    // Creates a component for one instance of the window; tests wrap or replace them.
    using ComponentFactory = std::function<std::unique_ptr<QynComponent>(
        const QString& progId, const QynStoredSettings& settings, const QString& instanceName)>;

    struct Options {
        // The folder the video configuration dialog offers first; empty: the installed one.
        QString videoConfFolder;
        ComponentFactory factory;   // empty: the standard registry
        std::function<void(int milliseconds)> sleep;  // empty: a real blocking sleep
        QString applicationFolder;  // the program's folder for the file dialogs; empty: the real one
    };

    explicit frmMain(Options options = {});
    // The folder the sample video configurations are installed in (QYN_VIDEO_CONFIG_DIR).
    static QString installedVideoConfFolder();
    ~frmMain() override;

    // The whole start-up: shows the window, asks for the video configuration, opens the camera.
    void Form_Load();
    // Image files named on the command line, after start-up: picks the conversion kind that
    // fits them, then loads them into slots 1, 2, 3 as "Image 1" to "Image 3" load a file.
    void loadStartFiles(const QStringList& paths);

    // The packed colour red * 65536 + green * 256 + blue; empty on a 32-bit overflow.
    static std::optional<std::int32_t> RevRGB(const std::int32_t& red, const std::int32_t& green,
                                              const std::int32_t& blue);

    bool blnVideoInUse() const { return blnVideoInUse_; }
    QString strVideoConfPath() const { return strVideoConfPath_; }

    // Image slots 1 to 4 and the other components, as this window created them.
    QynComponent& imageSlot(int slot) const { return *slots_.at(static_cast<std::size_t>(slot - 1)); }
    QynComponent& QynDisplayEx1() const { return *display_; }
    QynComponent& QynVideo1() const { return *video_; }
    QynComponent& QynFileAccess1() const { return *fileAccess_; }
    QynComponent& QynChangeImage1() const { return *changeImage_; }
    QynComponent& QynPerformanceCounter1() const { return *counter_; }

    // The dialog objects, each made on first use and kept for the whole run.
    frmSelectVideoConfFile& videoConfDialog();
    frmFileLoad& fileLoadDialog();
    frmFileSave& fileSaveDialog();
    // The measure window of the display, made on first use (Ctrl+M or Measure).
    MeasureWindow& measureWindow();
    // The camera window, made on first use: the open camera's controls.
    CameraWindow& cameraWindow();
    // The record panel, made on first use: the open camera's frames into files.
    RecordWindow& recordWindow();

    // The controls, named as in the window's design.
    QGroupBox* Frame1 = nullptr;
    ListComboBox* cmbAutoBin = nullptr;
    QPushButton* cmdButton1 = nullptr;
    QPushButton* cmdButton2 = nullptr;
    QPushButton* cmdButton3 = nullptr;
    QPushButton* cmdButton4 = nullptr;
    QPushButton* cmdButton5 = nullptr;
    QPushButton* cmdButton6 = nullptr;
    QLabel* lblParam1 = nullptr;
    QLabel* lblParam2 = nullptr;
    QLabel* lblParam3 = nullptr;
    QLineEdit* txtParam1 = nullptr;
    QLineEdit* txtParam2 = nullptr;
    QLineEdit* txtParam3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    ListComboBox* cmbDispImage = nullptr;
    QPushButton* cmdExecute = nullptr;
    QPushButton* cmdSaveImage = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtExecuteTime = nullptr;
    // Beyond the design, after its controls in tab order: opens the measure window.
    QPushButton* cmdMeasure = nullptr;
    // Live view of the open camera, after the design's controls, and its status line.
    QCheckBox* chkLive = nullptr;
    QLabel* lblLiveStatus = nullptr;
    // Beyond the design: opens the camera window (enabled while a camera is open).
    QPushButton* cmdCamera = nullptr;
    // Beyond the design: opens the record panel (enabled while a camera is open).
    QPushButton* cmdRecording = nullptr;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createComponents();
    void createControls();
    void applyTabOrder();
    void connectHandlers();
    // Live view (frmMainLive.cpp): the newest camera frame on the display while "Live" is on.
    void createLiveControls();
    void chkLive_Toggled(bool on);
    void liveFrameWaiting();
    void drawLiveFrame();
    void updateLiveStatus();
    bool liveRunning() const;
    void endLive();
    void enableLive();  // after start-up: "Live" only with a camera open

    void Form_Resize();
    void Form_Unload();

    void cmbAutoBin_Click();
    void cmbDispImage_Click();
    void cmdExecute_Click();
    void cmdButton1_Click() { loadSlot(1); }
    void cmdButton2_Click() { loadSlot(2); }
    void cmdButton3_Click() { loadSlot(3); }
    void cmdButton4_Click() { grabSlot(1); }
    void cmdButton5_Click() { grabSlot(2); }
    void cmdButton6_Click() { grabSlot(3); }
    void cmdSaveImage_Click();
    void cmdMeasure_Click();
    void cmdCamera_Click();
    void cmdRecording_Click();

    // The camera window shows the controls the capture holds now, or why there are none.
    void showCameraControls();
    // A value the running camera does not take: the stream stops, takes it and restarts.
    void restartCamera(const QString& name, const QString& value);
    void followTrigger(const QString& name);

    // The steps of one conversion run after the parameters are read; false on any failure.
    bool runConversion(const ConversionRecipe& recipe, const std::array<std::int32_t, 3>& weights);
    void showConversionError();
    void loadSlot(int slot);
    // The load after the dialog: the file into the slot, then slot 1's format check.
    void loadSlotFrom(int slot, const QString& path);
    void grabSlot(int slot);
    // ShowImage of a slot, keeping the display's accessible name in step; the call's status.
    QynStatus showSlot(int slot);
    void setParamCaption(QLabel* label, QLineEdit* field, const QString& caption);
    QynComponent* slotRef(int slot) const { return &imageSlot(slot); }
    // Where the file dialogs open: the program's folder, or the pictures folder when that
    // is not writable.
    QString fileDialogFolder() const;

    Options options_;
    bool blnVideoInUse_ = false;
    QSize resizedFor_;  // the outer size Form_Resize last worked on
    QString strVideoConfPath_;

    std::array<std::unique_ptr<QynComponent>, 4> slots_;
    std::unique_ptr<QynComponent> display_;
    std::unique_ptr<QynComponent> video_;
    std::unique_ptr<QynComponent> fileAccess_;
    std::unique_ptr<QynComponent> changeImage_;
    std::unique_ptr<QynComponent> counter_;

    struct Live;
    struct LiveEnd {
        void operator()(Live* live) const;
    };
    std::unique_ptr<Live, LiveEnd> live_;

    std::unique_ptr<frmSelectVideoConfFile> videoConfDialog_;
    std::unique_ptr<frmFileLoad> fileLoadDialog_;
    std::unique_ptr<frmFileSave> fileSaveDialog_;
    std::unique_ptr<MeasureWindow> measureWindow_;
    CameraWindow* cameraWindow_ = nullptr;  // a window of its own, owned as a child
    RecordWindow* recordWindow_ = nullptr;  // likewise
};
