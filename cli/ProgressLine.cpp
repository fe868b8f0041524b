#include "ProgressLine.h"

QString elapsedText(int seconds)
{
    return QString::asprintf("%d:%02d elapsed", seconds / 60, seconds % 60);
}

QString progressLine(const QString &step, int elapsedSeconds)
{
    return step + QStringLiteral(" - ") + elapsedText(elapsedSeconds);
}
