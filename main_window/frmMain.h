#pragma once

#include "QynComponentRegistry.h"

#include <QWidget>

#include <functional>
#include <memory>

// The main window. (Being built.)
class frmMain final : public QWidget {
    Q_OBJECT

public:
    // Creates a component for one instance of the window; tests wrap or replace them.
    using ComponentFactory = std::function<std::unique_ptr<QynComponent>(
        const QString& progId, const QynStoredSettings& settings, const QString& instanceName)>;

    struct Options {
        QString videoConfFolder;    // folder the video configuration dialog offers first
        ComponentFactory factory;   // empty: the standard registry
        std::function<void(int milliseconds)> sleep;  // empty: a real blocking sleep
    };

    explicit frmMain(Options options = {});
    ~frmMain() override;

    // The whole start-up: shows the window, asks for the video configuration, opens the camera.
    void Form_Load();

private:
    Options options_;
};
