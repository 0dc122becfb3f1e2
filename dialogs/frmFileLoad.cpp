#include "frmFileLoad.h"

#include "FileLoadWindow.h"

frmFileLoad::frmFileLoad(QString startFolder) : startFolder_(std::move(startFolder)) {}

frmFileLoad::~frmFileLoad() = default;

void frmFileLoad::setStrPattern(const QString& pattern)
{
    pattern_ = pattern;
    window().setPattern(pattern_);
}

void frmFileLoad::showModal()
{
    // Cancel, Escape and the close button all leave "": nothing chosen now, nothing loaded.
    const bool chosen = window().exec() == QDialog::Accepted;
    chosenPath_ = chosen ? window_->chosenPath() : QString();
    window_.reset();
}

FileLoadWindow& frmFileLoad::window()
{
    if (!window_)
        window_ = std::make_unique<FileLoadWindow>(startFolder_, pattern_);
    return *window_;
}
