#include "ui/CVProgressDialog.h"

#include "ui/Announcer.h"
#include "ui/StepProgressBar.h"
#include "workers/WritePartsThread.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>

namespace {

// Room beside the label's widest line.
constexpr int labelMargin = 100;
constexpr int tickMs = 1000;

} // namespace

// Nothing on its frame: no title bar, so no close, minimise or maximise
// button. Some window managers (openbox) put all three on any title bar.
CVProgressDialog::CVProgressDialog(const QString &labelText, const QString &activity, QWidget *parent)
    : QProgressDialog(labelText, QString(), 0, 0, parent, Qt::Dialog | Qt::CustomizeWindowHint)
    , workflowLabel(labelText)
    , progress(activity, progressClockMs())
    , bar(new StepProgressBar)
    , announcer(new Announcer(this))
{
    setWindowTitle(QStringLiteral("Please Wait"));
    // The label's text changes every second; a reader hears the workflow
    // from it, and the rest from the bar.
    auto *label = new QLabel;
    label->setAccessibleName(labelText);
    setLabel(label);
    bar->setAccessibleName(progress.stepLine(-1));
    bar->describeWith([this] { return progress.elapsedLine(progressClockMs()); });
    setModal(true);
    // Only the bar is ever changed, never the dialog's value, which would
    // pump events and could close the dialog at the maximum.
    bar->setRange(0, 0);
    setBar(bar);
    ticker.setInterval(tickMs);
    connect(&ticker, &QTimer::timeout, this, &CVProgressDialog::showProgress);
    showProgress();
    fixSize();
}

void CVProgressDialog::follow(const WritePartsThread &worker)
{
    library = &worker.libraryProgress();
    connect(&worker, &WritePartsThread::stepStarted, this, &CVProgressDialog::startStep);
}

void CVProgressDialog::fixSize()
{
    const QFontMetrics metrics(font());
    int widestLine = 0;
    for (const QString &line : workflowLabel.split(QLatin1Char('\n')) + ProgressText::widestLines())
        widestLine = qMax(widestLine, metrics.horizontalAdvance(line));
    setFixedSize(widestLine + labelMargin, sizeHint().height());
}

void CVProgressDialog::startStep(int step, int steps, const QString &part, int expectedSeconds)
{
    progress.startStep(step, steps, part, expectedSeconds, progressClockMs());
    lateAnnounced = false;
    showProgress();
}

void CVProgressDialog::showProgress()
{
    const int percent = progress.follow(library, percentFilter);
    if (percent >= 0) {
        bar->setRange(0, 100);
        bar->setValue(percent);
    } else {
        bar->setRange(0, 0);
    }
    const qint64 now = progressClockMs();
    const QString elapsed = progress.elapsedLine(now);
    setLabelText(workflowLabel + QLatin1Char('\n') + progress.stepLine(percent) + QLatin1Char('\n') + elapsed);
    // A new step, or the step's erase turning into its write, is said once.
    if (const QString step = progress.stepLine(-1); step != bar->accessibleName()) {
        bar->setAccessibleName(step);
        announcer->announce(step);
    }
    if (progress.late(now) && !lateAnnounced) {
        lateAnnounced = true;
        announcer->announce(elapsed);
    }
}

void CVProgressDialog::showEvent(QShowEvent *event)
{
    showProgress();
    ticker.start();
    QProgressDialog::showEvent(event);
}

void CVProgressDialog::hideEvent(QHideEvent *event)
{
    ticker.stop();
    QProgressDialog::hideEvent(event);
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
