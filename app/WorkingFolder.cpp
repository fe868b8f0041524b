#include "WorkingFolder.h"

#include "catalogue/ImageSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

void chooseWorkingFolder()
{
    // The window's sessions keep the default images.
    const QString imageFolder = QString::fromLocal8Bit(ImageSource().folder());
    if (QFileInfo(imageFolder).isDir())
        return;
    const QDir programFolder(QCoreApplication::applicationDirPath());
    if (QFileInfo(programFolder.filePath(imageFolder)).isDir())
        QDir::setCurrent(programFolder.path());
}
