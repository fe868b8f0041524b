#include "TestFolders.h"

#include <QTemporaryDir>

// CTest gives every test an XDG_DATA_HOME of its own (tests/CMakeLists.txt);
// a test run by hand gets a temporary one. Qt's test folders would ignore
// the variable for ~/.qttest.
void keepUserDataInTestFolders()
{
    static QTemporaryDir dataHome;
    if (qEnvironmentVariableIsEmpty("XDG_DATA_HOME"))
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
}
