#include "workers/ImageCheck.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool isUsableImage(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() <= 0)
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

} // namespace

QString firstUnusableImage(const QVector<QByteArray> &paths)
{
    for (const QByteArray &path : paths) {
        if (path.isEmpty())
            return QStringLiteral("No firmware image for this device type.");
        if (!isUsableImage(QFile::decodeName(path)))
            return QStringLiteral("Firmware image not found: ") + QFile::decodeName(path);
    }
    return QString();
}
