#include "SwapLibrary.h"

QString missingSwap(Swap)
{
    return QString();
}

QString updaterWithDouble(Swap swap, QProcessEnvironment *environment)
{
    if (swap == Swap::Preload)
        environment->insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KD_DOUBLE_LIBRARY));
    else
        environment->insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(KD_DOUBLE_DIR));
    return QStringLiteral(UPDATER_EXECUTABLE);
}

void addWindowDriver(QProcessEnvironment *environment)
{
    environment->insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KD_DRIVE_LIBRARY));
}
