#include "MainWindowHarness.h"

#include "ModalScript.h"
#include "frmSelectVideoConfFile.h"

#include <gtest/gtest.h>

FakeComponent& FakeComponent::on(std::int32_t dispId, Handler handler, QynCallKind kind)
{
    handlers_[{dispId, kind}] = std::move(handler);
    return *this;
}

QynCallResult FakeComponent::invoke(std::int32_t dispId, QynCallKind kind,
                                    std::span<const QynVariant> args) noexcept
{
    const auto it = handlers_.find({dispId, kind});
    if (it == handlers_.end())
        return {};
    return it->second(args);
}

FakeComponent::Handler resultCodes(std::vector<std::int32_t> codes)
{
    auto next = std::make_shared<std::size_t>(0);
    return [codes = std::move(codes), next](std::span<const QynVariant> args) -> QynCallResult {
        if (args.size() != 1 || !std::holds_alternative<std::int32_t*>(args[0]))
            return {QynStatus::TypeMismatch, {}};
        *std::get<std::int32_t*>(args[0]) = codes.at(std::min(*next, codes.size() - 1));
        ++*next;
        return {};
    };
}

MainWindowHarness::MainWindowHarness()
{
    previousHook_ = setMsgBoxHook([this](const MsgBoxRequest& request) { messages.push_back(request); });
    options.sleep = [this](int ms) { sleeps.push_back(ms); };
    options.applicationFolder = dir.path();
    options.videoConfFolder = dir.filePath(QStringLiteral("no-such-folder"));
}

MainWindowHarness::~MainWindowHarness()
{
    window_.reset();
    setMsgBoxHook(previousHook_);
}

frmMain& MainWindowHarness::window()
{
    if (window_)
        return *window_;
    frmMain::Options opts = options;
    opts.factory = [this](const QString& progId, const QynStoredSettings& settings,
                          const QString& instanceName) -> std::unique_ptr<QynComponent> {
        Created record{progId, {}, instanceName};
        for (const auto& value : settings)
            record.settings << qynVariantText(value);
        created.push_back(record);
        const auto maker = makers_.find(instanceName);
        std::unique_ptr<QynComponent> inner = maker != makers_.end()
                                                  ? maker->second()
                                                  : QynComponentRegistry::standard().create(progId, settings);
        if (!inner)
            return nullptr;
        return std::make_unique<QynRecordingComponent>(std::move(inner), instanceName, log);
    };
    window_ = std::make_unique<frmMain>(opts);
    return *window_;
}

void MainWindowHarness::start(const QString& configPath)
{
    frmMain& w = window();
    w.videoConfDialog().setStrVideoConfFilePath(configPath);
    ModalScript script;
    script.then([](QWidget* modal) { modal->close(); });
    w.Form_Load();
}

QStringList callsOf(const QynCallLog& log, const QString& instanceName)
{
    QStringList out;
    for (const auto& call : log.calls())
        if (call.component == instanceName)
            out << call.text();
    return out;
}
