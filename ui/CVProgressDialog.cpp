#include "ui/CVProgressDialog.h"

#include <QCloseEvent>
#include <QFontMetrics>

CVProgressDialog::CVProgressDialog(const QString &labelText, QWidget *parent)
    : QProgressDialog(labelText, QString(), 0, 0, parent)
{
    setWindowTitle(QStringLiteral("Please Wait"));
    setModal(true);
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(labelText) + 100, metrics.height());
}

void CVProgressDialog::reject()
{
}

void CVProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}
