#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

// The show-and-return lifecycle of a file dialog object: its window is made when first
// needed (a pattern set before the showing already reaches it), shown modally without an
// owner, and gone after every showing. Window is a QDialog with chosenPath().
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

    // The path chosen in this showing; "" for Cancel, Escape or the close button.
    QString showModal()
    {
        const bool chosen = window().exec() == QDialog::Accepted;
        QString path = chosen ? window_->chosenPath() : QString();
        window_.reset();
        return path;
    }

private:
    Maker maker_;
    std::unique_ptr<Window> window_;
};
