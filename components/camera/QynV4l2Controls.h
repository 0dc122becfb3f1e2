#pragma once

#include "QynCameraControls.h"
#include "QynV4l2Device.h"

#include <QString>

#include <map>
#include <memory>

// The controls of a V4L2 capture device (brightness, contrast, exposure, gain, ...) through
// V4L2's control calls, grouped by the device's control classes. Integer, boolean, menu,
// integer-menu and button controls are offered; the extended types (64-bit, string,
// compound) are left out. Names are the lower-case words v4l2-ctl and v4l2src's
// extra-controls use: "Exposure, Auto" is exposure_auto.
class QynV4l2Controls final : public QynCameraControls {
public:
    explicit QynV4l2Controls(std::unique_ptr<QynV4l2Device> device);

    QString deviceName() const override { return device_->name(); }
    QynCameraControl read(const QString& name) override;
    // For v4l2src: the settings as its extra-controls, "c,brightness=10,exposure_auto=1",
    // menus by their index.
    std::optional<QynSourceChange> sourceChange(const Pending& pending, QString* problem) override;

    // "Exposure, Auto" -> "exposure_auto".
    static QString nameFor(const QString& driverName);

private:
    struct Menu {
        std::map<qint64, QString> entries;  // index -> label (an integer menu's label is its value)
    };
    QynControlResult writeChecked(const QynCameraControl& control, const QVariant& value) override;
    QynControlResult executeChecked(const QynCameraControl& control) override;
    QynControlResult failure(const QynCameraControl& control, const QString& value, int error);
    std::optional<qint64> menuIndex(std::uint32_t id, const QString& label) const;

    std::unique_ptr<QynV4l2Device> device_;
    std::map<QString, std::uint32_t> ids_;
    std::map<std::uint32_t, Menu> menus_;
};
