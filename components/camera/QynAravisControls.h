#pragma once

#include "QynCameraControls.h"
#include "QynSourceChange.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// Aravis's own types, as arv.h declares them.
typedef struct _ArvCamera ArvCamera;
typedef struct _ArvGc ArvGc;
typedef struct _ArvGcNode ArvGcNode;
typedef struct _GError GError;

// The GenICam features of an Aravis camera (GigE Vision, USB3 Vision), reached through the
// camera object aravissrc already holds: its `camera` property. A GigE Vision camera takes
// one controller at a time, so this never opens a connection of its own.
//
// It holds a reference to the camera, which keeps the connection open. Release it before
// the pipeline stops and take the controls anew after it starts: Debian 12's aravissrc
// (0.8.26) keeps one camera for the element's life, but later ones drop it when they stop
// and open a new connection when they start, which a camera still held refuses.
//
// Aravis does not check values against a feature's range by default and many cameras take
// any register value, so write() checks range, increment and entries itself first.
class QynAravisControls final : public QynCameraControls {
public:
    explicit QynAravisControls(ArvCamera* camera);
    ~QynAravisControls() override;
    QynAravisControls(const QynAravisControls&) = delete;
    QynAravisControls& operator=(const QynAravisControls&) = delete;

    QString deviceName() const override { return deviceName_; }
    QynCameraControl read(const QString& name) override;
    // The camera stopped answering (a control read or write timed out): later calls fail
    // at once instead of waiting on the protocol's timeouts again.
    bool lost() const { return lost_; }

    // For aravissrc: offsets and binning go into its properties (it sets them before the
    // region), width, height, pixel format and frame rate into the caps after it (they
    // fix the stream's frames and rate when it starts), everything else into its
    // `features` string, which it applies last. A pixel format aravissrc has no caps for
    // is a problem.
    std::optional<QynSourceChange> sourceChange(const Pending& pending, QString* problem) override;

private:
    ArvGcNode* featureNode(const QString& name) const;
    void addCategory(int parent, ArvGcNode* category, QStringList& seen);
    void noteError(const GError* error);
    QynControlResult writeChecked(const QynCameraControl& control, const QVariant& value) override;
    QynControlResult executeChecked(const QynCameraControl& control) override;

    ArvCamera* camera_ = nullptr;  // our reference
    ArvGc* genicam_ = nullptr;     // the camera's, borrowed
    QString deviceName_;
    bool lost_ = false;
};
