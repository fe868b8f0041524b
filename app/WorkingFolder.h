#ifndef WORKINGFOLDER_H
#define WORKINGFOLDER_H

// The image paths handed to the device library are relative to the working
// folder. Started from a shortcut without a start folder, a command prompt
// elsewhere or the Run box, that folder is not the one the images were
// installed in; when the working folder has no image folder but the program's
// own folder does, this makes the program's folder the working folder. A
// working folder with its own image folder is left as it is.
//
// Needs the QCoreApplication (or a derived one) to exist; touches no widget.
void chooseWorkingFolder();

#endif
