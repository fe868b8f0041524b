#include "TestFolders.h"

// CTest gives every test an XDG_DATA_HOME of its own (tests/CMakeLists.txt).
// Qt's test folders would ignore it for ~/.qttest.
void keepUserDataInTestFolders()
{
}
