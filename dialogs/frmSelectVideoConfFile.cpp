#include "frmSelectVideoConfFile.h"

frmSelectVideoConfFile::frmSelectVideoConfFile(QString defaultFolder)
    : defaultFolder_(std::move(defaultFolder))
{
}

frmSelectVideoConfFile::~frmSelectVideoConfFile() = default;

void frmSelectVideoConfFile::showModal() {}
