#pragma once

#include "QynCameraControl.h"
#include "QynSourceChange.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <utility>
#include <vector>

// The controls of one open camera: their tree as the camera describes it, reading and
// writing. Aravis cameras (QynAravisControls) and V4L2 devices (QynV4l2Controls) implement
// it over the connection the capture already holds. Not thread-safe: one thread uses it.
class QynCameraControls {
public:
    // A category or a control; nodes()[0] is the root category.
    struct Node {
        QString name;
        QString displayName;
        bool category = false;
        int parent = -1;
        std::vector<int> children;
    };

    virtual ~QynCameraControls() = default;

    // The camera's name for a window title: "Aravis-Fake-QYN1", "/dev/video0".
    virtual QString deviceName() const = 0;
    const std::vector<Node>& nodes() const { return nodes_; }
    // The everyday controls this camera has, in the order an operator sets them (exposure
    // and its automatic mode, gain and its automatic mode, frame rate, region, binning,
    // pixel format, trigger); each also stands in the tree.
    const QStringList& upFront() const { return upFront_; }

    // The control as the camera describes it now; an empty name when there is none.
    virtual QynCameraControl read(const QString& name) = 0;
    // Checks the value against what the control takes now (availability, access, range,
    // increment, entries, length), then writes it; the previous value stays on any
    // failure. A valid value for a control that needs the stream stopped is not written:
    // NeedsStreamStopped tells the stream's owner to stop, set and restart.
    QynControlResult write(const QString& name, const QVariant& value);
    // Runs a command control (a software trigger).
    QynControlResult execute(const QString& name);

    // Values checked by write() for controls that need the stream stopped, by name.
    using Pending = std::vector<std::pair<QString, QString>>;
    // The change to the source description that opens the camera as it is set now, with
    // the pending values in place of the camera's: the up-front controls and every
    // control written through this object. A saved configuration and a restarted stream
    // take it (QynSourceDescription makes it). Empty with `problem` set when a setting
    // has no place in the description.
    virtual std::optional<QynSourceChange> sourceChange(const Pending& pending, QString* problem) = 0;
    // The source description with sourceChange() made: what a restarted stream or a saved
    // configuration runs. Empty with `problem` set when it cannot be made.
    QString sourceWith(const QString& source, const Pending& pending, QString* problem);

    // Checks a value against a control's description; on success `checked` holds it in
    // the control's own type (qint64, double, QString, bool).
    static QynControlResult check(const QynCameraControl& control, const QVariant& value, QVariant& checked);

protected:
    virtual QynControlResult writeChecked(const QynCameraControl& control, const QVariant& value) = 0;
    virtual QynControlResult executeChecked(const QynCameraControl& control) = 0;
    // Appends a node below parent and returns its index.
    int addNode(int parent, const QString& name, const QString& displayName, bool category);

    // Remembers a control written, for sourceChange().
    void noteWritten(const QString& name);
    // What sourceChange() saves: the up-front controls, then the others written, then the
    // pending ones not among them.
    QStringList settingNames(const Pending& pending) const;
    // The pending value of the control if there is one, else its own.
    static QString settingValue(const Pending& pending, const QynCameraControl& control);

    std::vector<Node> nodes_;
    QStringList upFront_;
    QStringList written_;  // first write first
};
