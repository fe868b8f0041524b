#include "TestFolders.h"

#include <QStandardPaths>

// Windows takes the data folder from the user's profile, which no variable
// moves: Qt's test folders are below it, apart from a user's own.
void keepUserDataInTestFolders()
{
    QStandardPaths::setTestModeEnabled(true);
}
