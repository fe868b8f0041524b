#include "ui/SaveLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString title = QStringLiteral("Save Log");

// Never the working folder, which for the installed program is its own.
QString startFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// Empty on success, otherwise what went wrong. The file is replaced whole,
// which only a regular file may be: a device or a FIFO in its place stays.
QString writeText(const QString &path, const QString &text)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return QStringLiteral("It is not a regular file, and only a regular file is replaced.");
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8() + '\n';
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return QString();
    return file.errorString();
}

} // namespace

void saveLogAs(QWidget *parent, const QString &text, const QString &instrument, const QDateTime &runBegan)
{
    QString name = (runBegan.isValid() ? runBegan : QDateTime::currentDateTime())
                       .toString(QStringLiteral("'kd740-log-'yyyyMMdd-HHmmss"));
    if (!instrument.isEmpty())
        name += QLatin1Char('-') + instrument;
    const QString suggested = QDir(startFolder()).filePath(name + QStringLiteral(".txt"));
    // Opened, not executed: the window's events go on while the user chooses.
    auto *dialog = new QFileDialog(parent, title, suggested, QStringLiteral("Text files (*.txt);;All files (*)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->selectFile(suggested);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::fileSelected, parent, [parent, text](const QString &path) {
        const QString problem = writeText(path, text);
        if (problem.isEmpty())
            return;
        auto *box = new QMessageBox(
            QMessageBox::Warning, title,
            QStringLiteral("The log could not be saved to %1:\n%2").arg(QDir::toNativeSeparators(path), problem),
            QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    dialog->open();
}
