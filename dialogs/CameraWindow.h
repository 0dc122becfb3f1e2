#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QModelIndex;
class QPushButton;
class QTimer;
class QTreeView;
class QynCameraControlModel;
class QynCameraControls;

// The camera window: the open camera's controls, the everyday ones up front and the
// camera's whole feature tree below, each edited with an editor fitting its type; values
// read again every second while the window shows (an automatic exposure moves); a
// software trigger; the settings saved as a copy of the configuration. A top-level window
// of its own, used with the keyboard: Enter or F2 edits a value, Enter runs a command,
// Space toggles a truth value, Escape closes.
class CameraWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr int RefreshMs = 1000;

    explicit CameraWindow(QWidget* parent = nullptr);

    // The controls to show (borrowed: call again with null before they go; `why` says why
    // there are none), the configuration the camera was opened from and the source
    // description it runs now, which a save starts from.
    void setCamera(QynCameraControls* controls, const QString& why, const QString& configPath, const QString& source);
    QynCameraControlModel* model() const { return model_; }

    // Writes the settings into a copy of the configuration at path; false with the reason
    // in the status line.
    bool saveTo(const QString& path);
    QString statusText() const;
    // A line in the status: what the camera's owner did with a change, or why it failed.
    void showStatus(const QString& text);

signals:
    // A checked value for a control that needs the stream stopped: the stream's owner
    // stops it, sets the value (QynCameraControls::sourceWith) and restarts, then calls
    // setCamera() with the new controls.
    void stopNeeded(const QString& name, const QString& value);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void cmdSave_Click();
    void cmdTrigger_Click();
    void activate(QTreeView* view, const QModelIndex& index);
    void refreshShown();

    QynCameraControlModel* model_;
    QString configPath_;
    QString source_;
    QTimer* timer_;
    QLabel* lblDevice;
    QLabel* lblMain;
    QTreeView* tvwMain;
    QPushButton* cmdTrigger;
    QPushButton* cmdSave;
    QLabel* lblAll;
    QTreeView* tvwFeatures;
    QLabel* lblStatus;
    QPushButton* cmdClose;
};
