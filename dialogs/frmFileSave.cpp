#include "frmFileSave.h"

#include "FileSaveWindow.h"

frmFileSave::frmFileSave(QString startFolder) : startFolder_(std::move(startFolder)) {}

frmFileSave::~frmFileSave() = default;

void frmFileSave::setStrPattern(const QString& pattern)
{
    pattern_ = pattern;
    window().setPattern(pattern_);
}

void frmFileSave::showModal()
{
    // Cancel, Escape and the close button all leave "": no file is overwritten unasked.
    const bool chosen = window().exec() == QDialog::Accepted;
    chosenPath_ = chosen ? window_->chosenPath() : QString();
    window_.reset();
}

FileSaveWindow& frmFileSave::window()
{
    if (!window_)
        window_ = std::make_unique<FileSaveWindow>(startFolder_, pattern_, defaultExtension_);
    return *window_;
}
