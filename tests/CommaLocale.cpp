#include "CommaLocale.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>

namespace {

const char* const Name = "de_DE.UTF-8";

bool decimalComma()
{
    const NumericLocale locale(QString::fromLatin1(Name));
    return locale.active() && std::localeconv()->decimal_point == QByteArrayLiteral(",");
}

// Builds the locale into folder; empty on success, else why not.
QString build(const QString& folder)
{
    if (QFileInfo::exists(folder + "/" + Name + "/LC_NUMERIC"))
        return {};
    // Built beside the folder and renamed into it, so test programs running at once never
    // see half a locale.
    QDir().mkpath(folder);
    QTemporaryDir scratch(folder + "/.build-XXXXXX");
    QProcess localedef;
    localedef.setProcessChannelMode(QProcess::MergedChannels);
    localedef.start(QStringLiteral("localedef"),
                    {"-i", "de_DE", "-f", "UTF-8", scratch.filePath(QString::fromLatin1(Name))});
    if (!localedef.waitForFinished(120000) || localedef.exitStatus() != QProcess::NormalExit
        || !QFileInfo::exists(scratch.filePath(QString::fromLatin1(Name)) + "/LC_NUMERIC"))
        return QStringLiteral("localedef failed (scripts/install-deps.sh installs it with the "
                              "package locales): %1")
            .arg(QString::fromLocal8Bit(localedef.readAll()).trimmed());
    QDir().rename(scratch.filePath(QString::fromLatin1(Name)), folder + "/" + Name);
    return {};
}

}  // namespace

NumericLocale::NumericLocale(const QString& name)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    saved_ = old ? QByteArray(old) : QByteArrayLiteral("C");
    active_ = std::setlocale(LC_NUMERIC, name.toLatin1().constData()) != nullptr;
}

NumericLocale::~NumericLocale()
{
    std::setlocale(LC_NUMERIC, saved_.constData());
}

CommaLocale commaLocale()
{
    static const CommaLocale found = [] {
        CommaLocale locale{QString::fromLatin1(Name), {}};
        if (decimalComma())
            return locale;
        const QString folder = QStringLiteral(QYN_TEST_LOCALE_DIR);
        locale.problem = build(folder);
        if (!locale.ok())
            return locale;
        qputenv("LOCPATH", QFile::encodeName(folder));
        if (!decimalComma())
            locale.problem = QStringLiteral("%1 built into %2 does not give a decimal comma")
                                 .arg(locale.name, folder);
        return locale;
    }();
    return found;
}
