#include "app/MainWindow.h"

#include "ui/Updater.h"

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    updater = new Updater(this);
    setCentralWidget(updater);
    setWindowTitle(QStringLiteral("KD740 Firmware Updater"));
    resize(800, 400);
}
