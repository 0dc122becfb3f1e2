#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The show-and-return lifecycle of a dialog object: its window is made when first needed
// (a setting made before the showing already reaches it), shown modally without an owner,
// and gone after every showing. Window is a QDialog with chosenPath().
template <class Window>
class ModalWindowLifecycle {
public:
    using Maker = std::function<std::unique_ptr<Window>()>;

    explicit ModalWindowLifecycle(Maker maker) : maker_(std::move(maker)) {}
    // The maker usually captures its dialog object: neither may move.
    ModalWindowLifecycle(const ModalWindowLifecycle&) = delete;
    ModalWindowLifecycle& operator=(const ModalWindowLifecycle&) = delete;

    Window& window()
    {
        if (!window_)
            window_ = maker_();
        return *window_;
    }

    // The path chosen in this showing; nothing for Cancel, Escape or the close button.
    std::optional<QString> showModal()
    {
        const bool chosen = window().exec() == QDialog::Accepted;
        std::optional<QString> path;
        if (chosen)
            path = window_->chosenPath();
        window_.reset();
        return path;
    }

private:
    Maker maker_;
    std::unique_ptr<Window> window_;
};
