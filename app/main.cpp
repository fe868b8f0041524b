#include "app/HighDpi.h"
#include "app/MainWindow.h"
#include "app/WorkingFolder.h"
#include "record/StandardStreams.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    keepStandardStreamsOpen();
    enableHighDpiScaling();
    QApplication app(argc, argv);
    chooseWorkingFolder();
    MainWindow window;
    window.show();
    return app.exec();
}
