#include "frmFileLoad.h"

#include "FileLoadWindow.h"

frmFileLoad::frmFileLoad(QString startFolder)
    : startFolder_(std::move(startFolder)),
      window_([this] { return std::make_unique<FileLoadWindow>(startFolder_, pattern_); })
{
}

frmFileLoad::~frmFileLoad() = default;

void frmFileLoad::setStrPattern(const QString& pattern)
{
    pattern_ = pattern;
    window_.window().setPattern(pattern_);
}

void frmFileLoad::showModal()
{
    // Cancel, Escape and the close button all leave "": nothing chosen now, nothing loaded.
    chosenPath_ = window_.showModal().value_or(QString());
}
