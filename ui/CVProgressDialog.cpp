#include "ui/CVProgressDialog.h"

#include "workers/ProgressText.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QProgressBar>
#include <QTimer>

namespace {

// Room beside the label's widest line.
constexpr int labelMargin = 100;

} // namespace

// Nothing on its frame: no title bar, so no close, minimise or maximise
// button. Some window managers (openbox) put all three on any title bar.
CVProgressDialog::CVProgressDialog(const QString &labelText, const QString &activity, QWidget *parent)
    : QProgressDialog(labelText, QString(), 0, 0, parent, Qt::Dialog | Qt::CustomizeWindowHint)
    , workflowLabel(labelText)
    , bar(new QProgressBar)
{
    setWindowTitle(QStringLiteral("Please Wait"));
    setModal(true);
    // Only the bar is ever changed, never the dialog's value, which would
    // pump events and could close the dialog at the maximum.
    bar->setRange(0, 0);
    setBar(bar);
    const ProgressText start(activity, 0);
    showProgress({ start.stepLine(-1), start.elapsedLine(0), 0, -1 });
    fixSize();
}

void CVProgressDialog::fixSize()
{
    const QFontMetrics metrics(font());
    int widestLine = 0;
    for (const QString &line : workflowLabel.split(QLatin1Char('\n')) + ProgressText::widestLines())
        widestLine = qMax(widestLine, metrics.horizontalAdvance(line));
    setFixedSize(widestLine + labelMargin, sizeHint().height());
}

void CVProgressDialog::showProgress(const ProgressEvent &event)
{
    if (event.percent >= 0) {
        bar->setRange(0, 100);
        bar->setValue(event.percent);
    } else {
        bar->setRange(0, 0);
    }
    setLabelText(workflowLabel + QLatin1Char('\n') + event.step + QLatin1Char('\n') + event.elapsed);
}

void CVProgressDialog::reject()
{
}

void CVProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

// Minimised from the keyboard or a task bar, it would take the window with it
// while the instrument is written: it comes straight back.
void CVProgressDialog::changeEvent(QEvent *event)
{
    QProgressDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QTimer::singleShot(0, this, [this] {
            if (isVisible())
                setWindowState(windowState() & ~Qt::WindowMinimized);
        });
}
