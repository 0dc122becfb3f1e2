#include "frmMain.h"

frmMain::frmMain(Options options) : options_(std::move(options)) {}

frmMain::~frmMain() = default;

void frmMain::Form_Load()
{
    show();
}
