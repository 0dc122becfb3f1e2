#include "frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QynSample"));

    frmMain window;
    window.Form_Load();
    return QApplication::exec();
}
