#ifndef TESTFOLDERS_H
#define TESTFOLDERS_H

// Keeps what this test process writes below the user's data folder (the
// records of its runs) out of the real one.
void keepUserDataInTestFolders();

#endif
