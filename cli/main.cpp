#include "FlashOptions.h"
#include "FlashRun.h"
#include "HistoryCommand.h"
#include "ImageFolder.h"
#include "JsonOutput.h"
#include "Terminal.h"
#include "TextOutput.h"

#include "catalogue/Catalogue.h"
#include "catalogue/OutsideText.h"
#include "device/DeviceCall.h"
#include "record/RunRecord.h"
#include "record/StandardStreams.h"

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

// Whose key signed the images and what it signed them as, or why none is taken.
QString signingText(const ImageList &list)
{
    QString signer = QStringLiteral("key ") + list.signer;
    if (!list.problem.isEmpty())
        signer = list.problem;
    else if (list.signer.isEmpty())
        signer = QStringLiteral("unsigned, allowed by --allow-unsigned");
    else
        signer += QStringLiteral("\nTrusted comment: ") + list.comment;
    return QStringLiteral("Signed by: ") + signer + QLatin1Char('\n');
}

QString versionText(const ImageSource &images)
{
    QStringList shipped;
    for (DeviceType type : knownModels())
        shipped << deviceTypeName(type) + QLatin1Char(' ') + versionString(shippedFirmware(type));
    return QStringLiteral("kd740-flash " KD740_VERSION "\nKD API ") + libraryVersion() + QLatin1Char('\n')
        + QStringLiteral("Shipped firmware: ") + shipped.join(QLatin1String(", ")) + QLatin1Char('\n')
        + QStringLiteral("Images: ") + images.shownFolder() + QLatin1Char('\n') + signingText(images.read());
}

int usageError(const QString &problem)
{
    print(stderr, QStringLiteral("kd740-flash: %1\nTry 'kd740-flash --help'.\n").arg(problem));
    return ExitUsage;
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
    if (parsed.options.history) {
        keepWritingWithoutReader();
        return runHistory(parsed.options, recordsFolder());
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
    std::unique_ptr<FlashOutput> output;
    if (options.json)
        output = std::make_unique<JsonOutput>(options.quiet);
    else
        output = std::make_unique<TextOutput>(options.quiet);
    keepWritingWithoutReader();
    // The run reads the folder's list once, before any instrument is opened.
    FlashRun run(options, *images, *output);
    return run.exec();
}
