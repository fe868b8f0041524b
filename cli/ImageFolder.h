#ifndef IMAGEFOLDER_H
#define IMAGEFOLDER_H

#include "catalogue/ImageSource.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The images the run uses. Given a folder (--firmware), the paths are that
// folder's as given, its images checked against its SHA256SUMS. Otherwise
// the default source, with the digests built in (its list signed all the
// same), opened as ./firmware of the working folder that the window
// program's rule chooses (chooseWorkingFolder), so that its calls are the
// window's.
// Nothing, with the reason, when the given folder is not one. allowUnsigned:
// --allow-unsigned.
std::optional<ImageSource> chooseImageSource(const QByteArray &given, bool allowUnsigned, const QString &installedData,
                                             QString *problem);

#endif
