#include "frmFileSave.h"

#include "FileSaveWindow.h"

frmFileSave::frmFileSave(QString startFolder)
    : startFolder_(std::move(startFolder)),
      window_([this] { return std::make_unique<FileSaveWindow>(startFolder_, pattern_, defaultExtension_); })
{
}

frmFileSave::~frmFileSave() = default;

void frmFileSave::setStrPattern(const QString& pattern)
{
    pattern_ = pattern;
    window_.window().setPattern(pattern_);
}

void frmFileSave::showModal()
{
    // Cancel, Escape and the close button all leave "": no file is overwritten unasked.
    chosenPath_ = window_.showModal().value_or(QString());
}
