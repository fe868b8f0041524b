#include "ImageFolder.h"

#include "catalogue/NativeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

std::optional<ImageSource> chooseImageSource(const QByteArray &given, const QString &installedData, QString *problem)
{
    if (!given.isEmpty()) {
        if (fileKind(given) != FileKind::Folder) {
            *problem = QStringLiteral("--firmware: not a folder: ") + QFile::decodeName(given);
            return std::nullopt;
        }
        // A folder of its own proves its images with its own list; the
        // installed one, as the window's, with the digests built in.
        return ImageSource::listedIn(given);
    }
    // The working folder is chosen once, here, before any session starts.
    if (!installedData.isEmpty()) {
        const QDir installed(QCoreApplication::applicationDirPath() + QLatin1Char('/') + installedData);
        if (QFileInfo(installed.filePath(QString::fromLatin1(defaultImageFolder))).isDir())
            QDir::setCurrent(installed.path());
    }
    return ImageSource();
}
