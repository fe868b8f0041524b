#include "app/HighDpi.h"
#include "app/MainWindow.h"
#include "catalogue/WorkingFolder.h"
#include "record/StandardStreams.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    keepStandardStreamsOpen();
    enableHighDpiScaling();
    QApplication app(argc, argv);
    // KD740_DATA_DIR: where the installed images are, from the program's folder.
    chooseWorkingFolder(QStringLiteral(KD740_DATA_DIR));
    MainWindow window;
    window.show();
    return app.exec();
}
