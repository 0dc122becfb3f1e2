#include "frmSelectVideoConfFile.h"

#include "SelectVideoConfFileWindow.h"

frmSelectVideoConfFile::frmSelectVideoConfFile(QString defaultFolder)
    : defaultFolder_(std::move(defaultFolder))
{
}

frmSelectVideoConfFile::~frmSelectVideoConfFile() = default;

void frmSelectVideoConfFile::showModal()
{
    // The window lives for this showing only; the close button keeps the earlier result.
    SelectVideoConfFileWindow window(defaultFolder_);
    if (window.exec() == QDialog::Accepted)
        strVideoConfFilePath_ = window.strVideoConfFilePath();
}
