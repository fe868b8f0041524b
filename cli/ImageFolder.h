#ifndef IMAGEFOLDER_H
#define IMAGEFOLDER_H

#include <QByteArray>
#include <QString>

// Points the catalogue at the folder the images are opened in. Given a
// folder (--firmware), the paths are that folder's as given. Otherwise, where
// the program is installed with its images (in installedData, relative to the
// program's folder; empty for a program that is not installed), it works in
// that folder, where the window program runs, and opens ./firmware there, so
// that its calls are the window's; elsewhere ./firmware of the current
// folder. The images of a given folder are checked against its SHA256SUMS,
// the others against the digests built in. False, with the reason, when the
// given folder is not one.
bool chooseImageFolder(const QByteArray &given, const QString &installedData, QString *problem);

#endif
