// Preloaded into an installed updater (scripts/check-package.sh): the real
// kd_api behind it answers every call, while this presses Check Versions and
// then Update as a technician would, prints what the window showed and
// closes it; with KDDRIVE_KEEP_OPEN set it leaves the window open, for
// whatever else is to end the updater.

#include "WindowScript.h"

#include <QTimer>
#include <QWidget>

#include <dlfcn.h>

extern "C" const char *kdGetAPIVersion()
{
    using Function = const char *(*)();
    static const auto real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "kdGetAPIVersion"));
    static bool scheduled = false;
    if (!scheduled) {
        scheduled = true;
        QTimer::singleShot(0, [] {
            QWidget *window = mainWindow();
            if (!window)
                return;
            checkThenUpdate(window);
            printWindow();
            if (!qEnvironmentVariableIsSet("KDDRIVE_KEEP_OPEN"))
                window->close();
        });
    }
    return real ? real() : "no kd_api behind the driver";
}
