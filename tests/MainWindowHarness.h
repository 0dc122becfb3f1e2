#pragma once

#include "MsgBox.h"
#include "QynCallRecorder.h"
#include "QynComponentRegistry.h"
#include "frmMain.h"

#include <QTemporaryDir>

#include <functional>
#include <ostream>
#include <map>
#include <memory>
#include <vector>

// A component whose calls a test scripts: each (dispatch id, call kind) may get a handler;
// calls without one succeed and do nothing.
class FakeComponent final : public QynComponent {
public:
    using Handler = std::function<QynCallResult(std::span<const QynVariant>)>;

    explicit FakeComponent(QString progId) : progId_(std::move(progId)) {}

    FakeComponent& on(std::int32_t dispId, Handler handler, QynCallKind kind = QynCallKind::Method);

    QString progId() const override { return progId_; }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;

private:
    QString progId_;
    std::map<std::pair<std::int32_t, QynCallKind>, Handler> handlers_;
};

// A GetLastResult handler that hands out these codes one call after the other (the last one
// repeats), with the result status of the call itself.
FakeComponent::Handler resultCodes(std::vector<std::int32_t> codes);

// One main window built with recording components and captured message boxes.
class MainWindowHarness {
public:
    MainWindowHarness();
    ~MainWindowHarness();

    // Replaces an instance ("QynVideo1", ...) by a component this maker builds.
    using Maker = std::function<std::unique_ptr<QynComponent>()>;
    void replace(const QString& instanceName, Maker maker) { makers_[instanceName] = std::move(maker); }

    // Builds the window (once); the components are wrapped by recorders logging into log.
    frmMain& window();
    // Runs the start-up with the video dialog closed by its close button, so its result is
    // the path given here ("" for no camera).
    void start(const QString& configPath = {});

    struct Created {
        QString progId;
        QStringList settings;
        QString instanceName;
    };

    std::shared_ptr<QynCallLog> log = std::make_shared<QynCallLog>();
    std::vector<MsgBoxRequest> messages;
    std::vector<int> sleeps;
    std::vector<Created> created;
    frmMain::Options options;
    QTemporaryDir dir;  // the file dialogs open here

private:
    std::map<QString, Maker> makers_;
    std::unique_ptr<frmMain> window_;
    MsgBoxHook previousHook_;
};

// Readable test failures for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// The call texts of one component, in order ("QynVideo1 call 101()", ...).
QStringList callsOf(const QynCallLog& log, const QString& instanceName);
