#include "SwapLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

QString missingSwap(Swap swap)
{
    if (swap == Swap::Preload)
        return QStringLiteral("Windows has no preloading; a library is swapped by putting it beside the executable");
    return QString();
}

namespace {

// The check refuses a folder without the images' signed list before it
// looks for an instrument: the copy has the build's images beside it.
bool copyImages(const QDir &dir)
{
    const QDir images(QFileInfo(QStringLiteral(UPDATER_EXECUTABLE)).dir().filePath(QStringLiteral("firmware")));
    if (!dir.mkpath(QStringLiteral("firmware")))
        return false;
    const QStringList files = images.entryList(QDir::Files);
    for (const QString &file : files) {
        if (!QFile::copy(images.filePath(file), dir.filePath(QStringLiteral("firmware/") + file)))
            return false;
    }
    return !files.isEmpty();
}

} // namespace

// Windows loads a DLL from the executable's folder before any other, so a
// copy of the updater is started from a folder that holds the double.
QString updaterWithDouble(Swap, QProcessEnvironment *)
{
    static QTemporaryDir folder;
    const QDir dir(folder.path());
    const QString updater = dir.filePath(QFileInfo(QStringLiteral(UPDATER_EXECUTABLE)).fileName());
    const QString library = dir.filePath(QFileInfo(QStringLiteral(KD_DOUBLE_LIBRARY)).fileName());
    if (!QFile::exists(updater)
        && !(QFile::copy(QStringLiteral(UPDATER_EXECUTABLE), updater)
             && QFile::copy(QStringLiteral(KD_DOUBLE_LIBRARY), library) && copyImages(dir)))
        qWarning("cannot copy the updater, the test double and the images to %s", qPrintable(folder.path()));
    return updater;
}

// The driver is a Qt plugin here, found through the plugin path.
void addWindowDriver(QProcessEnvironment *environment)
{
    const QString pluginPath = environment->value(QStringLiteral("QT_PLUGIN_PATH"));
    environment->insert(QStringLiteral("QT_PLUGIN_PATH"),
                        QStringLiteral(KD_DRIVE_PLUGIN_DIR)
                            + (pluginPath.isEmpty() ? QString() : QDir::listSeparator() + pluginPath));
    environment->insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("kd740drive"));
}
