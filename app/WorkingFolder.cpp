#include "WorkingFolder.h"

#include "catalogue/Catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

void chooseWorkingFolder()
{
    // Every image sits in the one folder the catalogue names.
    const QString imageFolder
        = QFileInfo(QString::fromLocal8Bit(bootImagePath(shippedFirmware(knownModels().constFirst())))).path();
    if (QFileInfo(imageFolder).isDir())
        return;
    const QDir programFolder(QCoreApplication::applicationDirPath());
    if (QFileInfo(programFolder.filePath(imageFolder)).isDir())
        QDir::setCurrent(programFolder.path());
}
