#include "ImageFolder.h"

#include "catalogue/Catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

bool chooseImageFolder(const QString &given, QString *problem)
{
    if (!given.isEmpty()) {
        if (!QFileInfo(given).isDir()) {
            *problem = QStringLiteral("--firmware: not a folder: ") + given;
            return false;
        }
        setImageFolder(QFile::encodeName(given));
        return true;
    }
    // KD740_DATA_DIR: the installed data folder, relative to the program's own.
    const QDir installed(QCoreApplication::applicationDirPath() + QStringLiteral("/" KD740_DATA_DIR));
    if (QFileInfo(installed.filePath(QString::fromLatin1(defaultImageFolder))).isDir())
        QDir::setCurrent(installed.path());
    return true;
}
