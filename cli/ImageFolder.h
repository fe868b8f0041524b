#ifndef IMAGEFOLDER_H
#define IMAGEFOLDER_H

#include "catalogue/ImageSource.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The images the run uses. Given a folder (--firmware), the paths are that
// folder's as given, its images checked against its SHA256SUMS. Otherwise
// the default source, with the digests built in (its list signed all the same): where the program is
// installed with its images (in installedData, relative to the program's
// folder; empty for a program that is not installed), it works in that
// folder, where the window program runs, and opens ./firmware there, so that
// its calls are the window's; elsewhere ./firmware of the current folder.
// Nothing, with the reason, when the given folder is not one. allowUnsigned:
// --allow-unsigned.
std::optional<ImageSource> chooseImageSource(const QByteArray &given, bool allowUnsigned, const QString &installedData,
                                             QString *problem);

#endif
