#include "ExportedNames.h"

#include <QProcess>

bool exportedNames(const QString &library, QStringList *names)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), { QStringLiteral("-D"), QStringLiteral("--defined-only"), library });
    if (!nm.waitForFinished() || nm.exitStatus() != QProcess::NormalExit || nm.exitCode() != 0)
        return false;
    const QStringList lines = QString::fromLatin1(nm.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        *names << line.section(QLatin1Char(' '), -1);
    return true;
}
