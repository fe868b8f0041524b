#include "app/MainWindow.h"

#include "ui/Updater.h"

#include <QScreen>

namespace {

// Unknown until the window is shown: what a window manager's frame takes at
// most, a title bar above and thin borders around.
const QSize frameAllowance(16, 48);

// 800x400, or on a small screen (1024x600 at 150 %) no more than its free
// area with the frame, so that no button lies off it.
QSize openingSize(const QRect &room)
{
    QSize size(800, 400);
    if (size.width() > room.width())
        size.setWidth(room.width() - frameAllowance.width());
    if (size.height() + frameAllowance.height() > room.height())
        size.setHeight(room.height() - frameAllowance.height());
    return size;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    updater = new Updater(this);
    setCentralWidget(updater);
    setWindowTitle(QStringLiteral("KD740 Firmware Updater"));
    resize(openingSize(screen()->availableGeometry()));
}
