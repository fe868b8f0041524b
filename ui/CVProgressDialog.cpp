#include "ui/CVProgressDialog.h"

#include <QCloseEvent>
#include <QFontMetrics>

namespace {

// Room beside the label's widest line.
constexpr int labelMargin = 100;

} // namespace

CVProgressDialog::CVProgressDialog(const QString &labelText, QWidget *parent)
    : QProgressDialog(labelText, QString(), 0, 0, parent)
{
    setWindowTitle(QStringLiteral("Please Wait"));
    setModal(true);
    const QFontMetrics metrics(font());
    int widestLine = 0;
    for (const QString &line : labelText.split(QLatin1Char('\n')))
        widestLine = qMax(widestLine, metrics.horizontalAdvance(line));
    resize(widestLine + labelMargin, metrics.height());
}

void CVProgressDialog::reject()
{
}

void CVProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}
