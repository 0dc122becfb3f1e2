#include "SampleCommandLine.h"

#include "ProgramVersion.h"
#include "QynNativePath.h"

#include <cstring>

std::optional<QString> SampleCommandLine::information(int argc, const char* const* argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0)
            return usage();
        if (std::strcmp(argv[i], "--version") == 0)
            return QStringLiteral("qynsample (QynSample) " QYN_PROGRAM_VERSION "\n");
    }
    return std::nullopt;
}

SampleCommandLine::Parsed SampleCommandLine::parse(int argc, const char* const* argv)
{
    Parsed parsed;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg.startsWith('-')) {
            parsed.problem = QStringLiteral("unknown option '%1'").arg(QString::fromLocal8Bit(arg));
            return parsed;
        } else {
            parsed.files << qynPathFromNative(arg);
        }
    }
    if (parsed.files.size() > MaxFiles)
        parsed.problem = QStringLiteral("at most %1 image files, one a slot; %2 given").arg(MaxFiles).arg(parsed.files.size());
    return parsed;
}

QString SampleCommandLine::usage()
{
    return QStringLiteral(
        "Usage: qynsample [OPTION]... [IMAGE]...\n"
        "The colour and gray image conversion workbench.\n"
        "\n"
        "After the video configuration dialog, up to three IMAGE files load into slots 1 to 3\n"
        "as \"Image 1\" to \"Image 3\" load them, with a conversion that fits picked first:\n"
        "one colour image, \"Color memory channel decomposition\"; one gray image,\n"
        "\"Conversion of a color image of a gray\"; two or three, \"Gray memory channel composition\".\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "      --version  show the version and exit\n"
        "      --         the arguments after it are files\n"
        "Qt's own options (-platform NAME, -style NAME, ...) are taken as well.\n"
        "\n"
        "Exit status: 0 when the window closes, 2 for a wrong command line.\n");
}
