#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QynFrameListeners;
class QynVideoRecording;
class StopSignals;

// The record panel: the open camera's frames into a folder (numbered BMP, PNG or TIFF
// files, or one multi-page TIFF, with the index frames.csv), for a number of frames, a
// time or until stopped, through memory of a size the operator sets. The status shows
// the frames recorded and lost, how full the memory is and the disk's rate. Stopping (the
// button, closing the window, SIGINT or SIGTERM) writes the frames in memory first.
// Used with the keyboard: every field has a mnemonic, Escape closes.
class RecordWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr int StatusMs = 200;

    explicit RecordWindow(QWidget* parent = nullptr);
    ~RecordWindow() override;

    // The frames to record (borrowed: call again with null before they go, which stops a
    // recording), or why there are none.
    void setSource(QynFrameListeners* listeners, const QString& why);
    bool recording() const;
    // Starts with the settings shown; false with the reason in the status line.
    bool startRecording();
    // Stops, writing the frames in memory first; the summary goes to the status line.
    void stopRecording();
    QString statusText() const;

signals:
    // SIGINT or SIGTERM came while recording; the recording is complete.
    void stopSignalled(int signal);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void cmdRecord_Click();
    void cmdBrowse_Click();
    void cmbLength_Changed();
    void showProgress();
    void enableSettings();

    QynFrameListeners* listeners_ = nullptr;
    QString why_;
    std::unique_ptr<QynVideoRecording> recording_;
    StopSignals* signals_ = nullptr;  // while recording
    QTimer* timer_;
    QLabel* lblFolder;
    QLineEdit* txtFolder;
    QPushButton* cmdBrowse;
    QLabel* lblFormat;
    QComboBox* cmbFormat;
    QLabel* lblLength;
    QComboBox* cmbLength;
    QSpinBox* spnLength;
    QLabel* lblMemory;
    QSpinBox* spnMemory;
    QPushButton* cmdRecord;
    QLabel* lblStatus;
    QPushButton* cmdClose;
};
