#include "AccessibleDescriptionFilter.h"
#include "ApplicationIcon.h"
#include "QynAtomicFile.h"
#include "SampleCommandLine.h"
#include "SignalClose.h"
#include "frmMain.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // --help and --version are answered before a display is needed.
    if (const auto text = SampleCommandLine::information(argc, argv)) {
        QTextStream(stdout) << *text;
        return 0;
    }

    QApplication app(argc, argv);
    QynAtomicFile::installSignalHandling();  // a save past the file size limit fails, not the program
    SignalClose signalClose;                  // SIGTERM, SIGHUP, SIGINT: as closing the main window
    QApplication::setApplicationName(QStringLiteral("QynSample"));
    QApplication::setWindowIcon(qyn::applicationIcon());
    AccessibleDescriptionFilter::install();

    // What Qt left of the command line: image files for slots 1 to 3.
    const SampleCommandLine::Parsed line = SampleCommandLine::parse(argc, argv);
    if (!line.problem.isEmpty()) {
        QTextStream(stderr) << "qynsample: " << line.problem << "\n" << SampleCommandLine::usage();
        return SampleCommandLine::UsageExit;
    }

    // The program ends when the main window closes, by the operator or on a signal.
    frmMain window;
    signalClose.setMainWindow(window);
    window.Form_Load();
    // A signal during start-up closed the windows and ended the event loops there.
    if (!signalClose.ending())
        window.loadStartFiles(line.files);
    return signalClose.ending() ? 0 : QApplication::exec();
}
