#include "ExportedNames.h"

#include <QProcess>
#include <QRegularExpression>

// objdump -p lists a DLL's export names in a table of lines "[   3] name".
bool exportedNames(const QString &library, QStringList *names)
{
    QProcess objdump;
    objdump.start(QStringLiteral(KD_OBJDUMP), { QStringLiteral("-p"), library });
    if (!objdump.waitForFinished() || objdump.exitStatus() != QProcess::NormalExit || objdump.exitCode() != 0)
        return false;
    const QString output = QString::fromLatin1(objdump.readAllStandardOutput());
    const QString table = output.section(QStringLiteral("[Ordinal/Name Pointer] Table"), 1);
    if (table.isEmpty())
        return false;
    static const QRegularExpression entry(QStringLiteral("^\\s*\\[\\s*\\d+\\]\\s+(\\S+)\\s*$"),
                                          QRegularExpression::MultilineOption);
    for (auto match = entry.globalMatch(table.section(QStringLiteral("\n\n"), 0, 0)); match.hasNext();)
        *names << match.next().captured(1);
    return true;
}
