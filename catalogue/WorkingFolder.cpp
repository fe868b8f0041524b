#include "catalogue/WorkingFolder.h"

#include "catalogue/ImageSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

void chooseWorkingFolder(const QString &installedData)
{
    const QString imageFolder = QString::fromLatin1(defaultImageFolder);
    if (QFileInfo(imageFolder).isDir())
        return;
    const QDir programFolder(QCoreApplication::applicationDirPath());
    QStringList candidates { programFolder.path() };
    if (!installedData.isEmpty())
        candidates << programFolder.filePath(installedData);
    for (const QString &candidate : candidates) {
        if (QFileInfo(QDir(candidate).filePath(imageFolder)).isDir()) {
            QDir::setCurrent(candidate);
            return;
        }
    }
}
