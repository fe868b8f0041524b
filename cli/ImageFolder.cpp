#include "ImageFolder.h"

#include "catalogue/NativeFile.h"
#include "catalogue/OutsideText.h"
#include "catalogue/WorkingFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

std::optional<ImageSource> chooseImageSource(const QByteArray &given, bool allowUnsigned, const QString &installedData,
                                             QString *problem)
{
    ImageSource source;
    if (!given.isEmpty()) {
        if (fileKind(given) != FileKind::Folder) {
            *problem = QStringLiteral("--firmware: not a folder: ") + outsideText(QFile::decodeName(given));
            return std::nullopt;
        }
        // A folder of its own proves its images with its own signed list;
        // the installed one, as the window's, with the digests built in.
        source = ImageSource::listedIn(given);
    }
    if (allowUnsigned)
        source.allowUnsigned();
    if (!given.isEmpty())
        return source;
    // The working folder is chosen once, here, before any session starts, by
    // the window program's rule.
    chooseWorkingFolder(installedData);
    return source;
}
