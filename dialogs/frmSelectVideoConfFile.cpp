#include "frmSelectVideoConfFile.h"

#include "SelectVideoConfFileWindow.h"

frmSelectVideoConfFile::frmSelectVideoConfFile(QString defaultFolder)
    : defaultFolder_(std::move(defaultFolder)),
      window_([this] { return std::make_unique<SelectVideoConfFileWindow>(defaultFolder_); })
{
}

frmSelectVideoConfFile::~frmSelectVideoConfFile() = default;

void frmSelectVideoConfFile::showModal()
{
    // The close button keeps the earlier result.
    if (const auto chosen = window_.showModal())
        strVideoConfFilePath_ = *chosen;
}
