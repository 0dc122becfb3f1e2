#include "AccessibleDescriptionFilter.h"
#include "QynAtomicFile.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QynAtomicFile::installSignalHandling();  // a save past the file size limit fails, not the program
    QApplication::setApplicationName(QStringLiteral("QynSample"));
    AccessibleDescriptionFilter::install();

    // The program ends when the main window closes.
    frmMain window;
    window.Form_Load();
    return QApplication::exec();
}
