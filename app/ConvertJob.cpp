#include "ConvertJob.h"

#include "ColorTable.h"
#include "ConvertExit.h"
#include "Module1.h"
#include "QynCalls.h"
#include "QynFileAccess.h"

#include <vector>

namespace {

QString fileFailure(const char* verb, const QString& path, std::int32_t code, const QString& why = {})
{
    return QStringLiteral("Cannot %1 %2: %3 (%4)")
        .arg(QLatin1String(verb), path, why.isEmpty() ? QynFileAccess::resultText(code) : why)
        .arg(code);
}

QynComponent* ref(QynImage& slot)
{
    return &slot;
}

}  // namespace

ConvertJob::ConvertJob(const ConvertOptions& options, int threads) : options_(options)
{
    change_.setThreadCount(threads);
    table_ = *qyn::grayToColorTable();  // no entry of this table overflows
}

ConvertJob::Outcome ConvertJob::checkOutputs(const QStringList& outputs)
{
    QString why;
    qsizetype failed = 0;
    if (const std::int32_t problem = QynFileAccess::checkSavePaths(outputs, &why, &failed))
        return {ExitWriteFailed, fileFailure("write", outputs[failed], problem, why)};
    return {};
}

ConvertJob::Outcome ConvertJob::load(const QStringList& sources)
{
    QynFileAccess files;
    std::int32_t code = 0;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        qyn::put(files, QynFileAccess::FilePath, sources[i]);
        qyn::call(files, QynFileAccess::LoadImage, {ref(images_[static_cast<std::size_t>(i)])});
        code = qyn::lastResult(files, QynFileAccess::GetLastResult);
        if (code != 0)
            return {ExitReadFailed, fileFailure("read", sources[i], code, files.lastReason())};
    }
    return {};
}

ConvertJob::Outcome ConvertJob::convert(double& elapsed)
{
    // The recipe counts slots from 1, as the window does; images_ from 0.
    const ConversionRecipe& recipe = *options_.recipe;
    for (int d : recipe.destinations)
        if (d != 0)
            qyn::call(images_[static_cast<std::size_t>(d - 1)], QynImage::Clear);
    elapsed = 0;
    const std::array<QynComponent*, 4> slotRefs{ref(images_[0]), ref(images_[1]), ref(images_[2]),
                                                ref(images_[3])};
    qyn::call(counter_, QynPerformanceCounter::Start);
    const QynStatus status = recipe.call(change_, slotRefs, options_.weights, table_);
    qyn::call(counter_, QynPerformanceCounter::GetElapsedTime, {&elapsed});
    if (status != QynStatus::Ok) {
        const std::int32_t code = qyn::lastResult(change_, QynChangeImage::GetLastResult);
        return {ExitConversionFailed, QStringLiteral("%1 (%2)").arg(Module1::GetResultMessage(code)).arg(code)};
    }
    return {};
}

ConvertJob::Outcome ConvertJob::save(const QStringList& outputs)
{
    std::vector<const QynImage*> results;
    const std::size_t first = static_cast<std::size_t>(options_.recipe->shown - 1);
    for (qsizetype i = 0; i < outputs.size(); ++i)
        results.push_back(&images_[first + static_cast<std::size_t>(i)]);
    // All or none: the three planes of decompose replace their files together.
    QString why;
    qsizetype failed = 0;
    if (const std::int32_t problem = QynFileAccess::saveFiles(outputs, results, &why, &failed))
        return {ExitWriteFailed, fileFailure("write", outputs[failed], problem, why)};
    return {};
}

ConvertJob::Outcome ConvertJob::run(const QStringList& sources, const QStringList& outputs)
{
    Outcome outcome = checkOutputs(outputs);
    if (outcome)
        outcome = load(sources);
    double elapsed = 0;
    if (outcome)
        outcome = convert(elapsed);
    if (outcome)
        outcome = save(outputs);
    clear();
    return outcome;
}

void ConvertJob::clear()
{
    for (QynImage& slot : images_)
        qyn::call(slot, QynImage::Clear);
}
