// The driver of kd740_drive.cpp for where no library can be preloaded
// (Windows): a Qt plugin the program loads when QT_QPA_GENERIC_PLUGINS names
// "kd740drive" and QT_PLUGIN_PATH holds this build's tests/drive/. It presses
// Check Versions and then Update, saves the window as a PNG file when
// KD740_DRIVE_SCREENSHOT names one, prints what the window showed and closes
// it.

#include "WindowScript.h"

#include <QGenericPlugin>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>

class DrivePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "kd740_drive_plugin.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        QTimer::singleShot(0, [] {
            QWidget *window = mainWindow();
            if (!window)
                return;
            checkThenUpdate(window);
            const QString screenshot = qEnvironmentVariable("KD740_DRIVE_SCREENSHOT");
            if (!screenshot.isEmpty() && !window->grab().save(screenshot, "PNG"))
                std::fprintf(stderr, "kd740drive: cannot write %s\n", qPrintable(screenshot));
            printWindow();
            window->close();
        });
        return new QObject;
    }
};

#include "kd740_drive_plugin.moc"
