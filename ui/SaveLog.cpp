#include "ui/SaveLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString title = QStringLiteral("Save Log");

// Empty on success, otherwise what went wrong.
QString writeText(const QString &path, const QString &text)
{
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8() + '\n';
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return QString();
    return file.errorString();
}

} // namespace

void saveLogAs(QWidget *parent, const QString &text)
{
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    const QString suggested = documents.filePath(
        QDateTime::currentDateTime().toString(QStringLiteral("'kd740-log-'yyyyMMdd-HHmmss'.txt'")));
    const QString path = QFileDialog::getSaveFileName(parent, title, suggested,
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    const QString problem = writeText(path, text);
    if (!problem.isEmpty())
        QMessageBox::warning(
            parent, title,
            QStringLiteral("The log could not be saved to %1:\n%2").arg(QDir::toNativeSeparators(path), problem));
}
