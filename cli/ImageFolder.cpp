#include "ImageFolder.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ImageDigests.h"
#include "catalogue/NativeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

bool chooseImageFolder(const QByteArray &given, const QString &installedData, QString *problem)
{
    if (!given.isEmpty()) {
        if (fileKind(given) != FileKind::Folder) {
            *problem = QStringLiteral("--firmware: not a folder: ") + QFile::decodeName(given);
            return false;
        }
        setImageFolder(given);
        // A folder of its own proves its images with its own list; the
        // installed one, as the window's, with the digests built in.
        useDigestsListedIn(given);
        return true;
    }
    if (installedData.isEmpty())
        return true;
    const QDir installed(QCoreApplication::applicationDirPath() + QLatin1Char('/') + installedData);
    if (QFileInfo(installed.filePath(QString::fromLatin1(defaultImageFolder))).isDir())
        QDir::setCurrent(installed.path());
    return true;
}
