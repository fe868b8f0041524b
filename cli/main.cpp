#include "FlashOptions.h"
#include "FlashRun.h"
#include "ImageFolder.h"
#include "JsonOutput.h"
#include "Terminal.h"
#include "TextOutput.h"

#include "catalogue/Catalogue.h"
#include "device/DeviceCall.h"
#include "record/StandardStreams.h"
#include "session/Reports.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

// Whose key signed the images, or why none is taken.
QString signingText(const ImageList &list)
{
    if (!list.problem.isEmpty())
        return list.problem;
    if (list.signer.isEmpty())
        return QStringLiteral("unsigned, allowed by --allow-unsigned");
    return QStringLiteral("key ") + list.signer;
}

QString versionText(const ImageSource &images)
{
    QStringList shipped;
    for (DeviceType type : knownModels())
        shipped << deviceTypeName(type) + QLatin1Char(' ') + versionString(shippedFirmware(type));
    return QStringLiteral("kd740-flash " KD740_VERSION "\nKD API ") + libraryVersion() + QLatin1Char('\n')
        + QStringLiteral("Shipped firmware: ") + shipped.join(QLatin1String(", ")) + QLatin1Char('\n')
        + QStringLiteral("Images: ") + images.shownFolder() + QLatin1Char('\n') + QStringLiteral("Signed by: ")
        + signingText(images.read()) + QLatin1Char('\n');
}

int usageError(const QString &problem)
{
    print(stderr, QStringLiteral("kd740-flash: %1\nTry 'kd740-flash --help'.\n").arg(problem));
    return ExitUsage;
}

int refuseImages(FlashOutput &output, const QString &problem)
{
    // As the run itself ends a check that refuses its images.
    for (const ReportLine &line : imageRefusalLines(problem))
        output.line(line.text, line.tone);
    RunEnd end;
    end.kind = RunEnd::Kind::ImageUnusable;
    end.problem = problem;
    const Outcome refused = outcomeOf(end);
    output.outcome(refused);
    return refused.exitCode;
}

} // namespace

int main(int argc, char *argv[])
{
    keepStandardStreamsOpen();
    QList<QByteArray> arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QByteArray(argv[index]);
    QCoreApplication app(argc, argv);
    const ParsedArguments parsed = parseArguments(arguments);
    if (parsed.kind == ParsedArguments::UsageError)
        return usageError(parsed.problem);
    if (parsed.kind == ParsedArguments::Help) {
        print(stdout, helpText());
        return ExitDone;
    }
    QString problem;
    // KD740_DATA_DIR: where the installed images are, from the program's folder.
    const std::optional<ImageSource> images = chooseImageSource(parsed.options.firmwareDir,
                                                                parsed.options.allowUnsigned,
                                                                QStringLiteral(KD740_DATA_DIR), &problem);
    if (!images)
        return usageError(problem);
    if (parsed.kind == ParsedArguments::Version) {
        print(stdout, versionText(*images));
        return ExitDone;
    }

    const FlashOptions &options = parsed.options;
    // The folder's signature is checked before any instrument is opened (the
    // run checks it again before it writes).
    const ImageList list = images->read();
    std::unique_ptr<FlashOutput> output;
    if (options.json)
        output = std::make_unique<JsonOutput>(options.quiet, list.signer);
    else
        output = std::make_unique<TextOutput>(options.quiet);
    keepWritingWithoutReader();
    if (!list.problem.isEmpty())
        return refuseImages(*output, list.problem);
    if (list.signer.isEmpty())
        print(stderr,
              QStringLiteral("kd740-flash: the images in %1 are not signed; --allow-unsigned takes them, "
                             "checked against their SHA256SUMS alone\n")
                  .arg(QFile::decodeName(images->folder())));
    FlashRun run(options, *images, *output);
    return run.exec();
}
