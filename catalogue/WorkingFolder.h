#ifndef WORKINGFOLDER_H
#define WORKINGFOLDER_H

#include <QString>

// The image paths handed to the device library are relative to the working
// folder. Started from a shortcut without a start folder, a command prompt
// elsewhere or the Run box, that folder is not the one the images were
// installed in. One rule for both programs: a working folder with its own
// image folder is kept; otherwise the program's own folder, else the
// installed data folder (installedData, relative to the program's folder;
// empty for a program that is not installed), becomes the working folder
// where it has one.
//
// Needs the QCoreApplication (or a derived one) to exist; touches no widget.
void chooseWorkingFolder(const QString &installedData);

#endif
