#include "frmFileLoad.h"

frmFileLoad::frmFileLoad(QString startFolder) : startFolder_(std::move(startFolder)) {}

frmFileLoad::~frmFileLoad() = default;

void frmFileLoad::setStrPattern(const QString& pattern)
{
    pattern_ = pattern;
}

void frmFileLoad::showModal() {}
