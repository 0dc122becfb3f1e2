#pragma once

#include <QIcon>

namespace qyn {

// The program's icon: the installed one from the desktop's icon theme, else the copy built
// into the program (a program run where it was built).
QIcon applicationIcon();

}  // namespace qyn
