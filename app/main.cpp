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

    frmMain::Options options;
#ifdef Q_OS_WIN
    options.videoConfFolder = QStringLiteral("c:\\NERA_QYN\\Video_IniFiles");
#else
    options.videoConfFolder = QStringLiteral("/opt/NERA_QYN/Video_IniFiles");
#endif
    // The program ends when the main window closes.
    frmMain window(options);
    window.Form_Load();
    return QApplication::exec();
}
