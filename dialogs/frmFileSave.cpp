#include "frmFileSave.h"

frmFileSave::frmFileSave(QString startFolder) : startFolder_(std::move(startFolder)) {}

frmFileSave::~frmFileSave() = default;

void frmFileSave::setStrPattern(const QString& pattern)
{
    pattern_ = pattern;
}

void frmFileSave::showModal() {}
