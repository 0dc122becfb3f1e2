#include "StatsCommand.h"

#include "ConvertExit.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynMeasureText.h"
#include "QynRegionStats.h"
#include "QynRowPool.h"

#include <QTextStream>


QString StatsCommand::usage()
{
    return QStringLiteral(
        "usage: qynconvert stats FILE [--region X,Y,W,H]\n"
        "       per channel of FILE, or of the W x H rectangle at X,Y: pixels, mean, standard\n"
        "       deviation, minimum, maximum, pixels at 0 and at 255; tab-separated\n"
        "exit: 0 done, 2 usage or a region not inside the image, 3 read failed\n");
}

int StatsCommand::run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.contains(QStringLiteral("--help"))) {
        out << usage();
        out.flush();
        return ExitOk;
    }
    QString file;
    QRect region;
    QString problem;
    for (qsizetype i = 0; i < args.size() && problem.isEmpty(); ++i) {
        if (args[i] == "--region") {
            if (i + 1 >= args.size())
                problem = QStringLiteral("--region needs a value");
            else if (const auto typed = qyn::regionFromText(args[++i]))
                region = *typed;
            else
                problem = QStringLiteral("--region needs X,Y,W,H: whole numbers, X and Y from 0, W and H from 1");
        } else if (args[i].startsWith("--")) {
            problem = QStringLiteral("unknown option %1").arg(args[i]);
        } else if (file.isNull()) {
            file = args[i];
        } else {
            problem = QStringLiteral("stats takes one file");
        }
    }
    if (problem.isEmpty() && file.isNull())
        problem = QStringLiteral("stats needs a file");
    if (!problem.isEmpty()) {
        err << "qynconvert: " << problem << "\n" << usage();
        err.flush();
        return ExitUsage;
    }
    QynImage slot;
    QString why;
    if (const std::int32_t code = QynFileAccess::loadFile(file, slot, &why); code != 0) {
        err << QStringLiteral("qynconvert: Cannot read %1: %2 (%3)\n")
                   .arg(file, why.isEmpty() ? QynFileAccess::resultText(code) : why)
                   .arg(code);
        err.flush();
        return ExitReadFailed;
    }
    const QynPixelBuffer& pixels = *slot.pixels();
    if (!region.isNull() && !QRect(0, 0, pixels.width(), pixels.height()).contains(region)) {
        err << QStringLiteral("qynconvert: the region %1,%2,%3,%4 does not lie inside the %5 x %6 image\n")
                   .arg(region.x())
                   .arg(region.y())
                   .arg(region.width())
                   .arg(region.height())
                   .arg(pixels.width())
                   .arg(pixels.height());
        err.flush();
        return ExitUsage;
    }
    QynRowPool pool(QynRowPool::coreCount());
    out << qyn::statsText(QynRegionStats::of(pixels, region, &pool));
    out.flush();
    return ExitOk;
}
