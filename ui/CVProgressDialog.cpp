#include "ui/CVProgressDialog.h"

#include "session/ProgressText.h"
#include "ui/Announcer.h"
#include "ui/StepProgressBar.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace {

// Room beside the label's widest line.
constexpr int labelMargin = 100;
constexpr int edgeWidth = 2;

} // namespace

// Nothing on its frame: no title bar, so no close, minimise or maximise
// button. Some window managers (openbox) put all three on any title bar.
CVProgressDialog::CVProgressDialog(const QString &labelText, const QString &activity, QWidget *parent)
    : QProgressDialog(labelText, QString(), 0, 0, parent, Qt::Dialog | Qt::CustomizeWindowHint)
    , workflowLabel(labelText)
    , bar(new StepProgressBar)
    , announcer(new Announcer(this))
{
    setWindowTitle(QStringLiteral("Please Wait"));
    // The label's text changes every second; a reader hears the workflow
    // from it, and the rest from the bar.
    auto *label = new QLabel;
    label->setAccessibleName(labelText);
    setLabel(label);
    bar->setAccessibleName(activity);
    bar->describeWith([this] { return elapsed; });
    setModal(true);
    // Only the bar is ever changed, never the dialog's value, which would
    // pump events and could close the dialog at the maximum.
    bar->setRange(0, 0);
    setBar(bar);
    const ProgressText start(activity, 0);
    showProgress({ start.stepLine(-1), start.elapsedLine(0), 0, -1, activity, false });
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
    elapsed = event.elapsed;
    setLabelText(workflowLabel + QLatin1Char('\n') + event.step + QLatin1Char('\n') + event.elapsed);
    // A new step, or the step's erase turning into its write, is said once.
    if (event.stepName != bar->accessibleName()) {
        bar->setAccessibleName(event.stepName);
        announcer->announce(event.stepName, Announcer::Urgency::Polite);
    }
    if (event.late && !lateAnnounced) {
        lateAnnounced = true;
        // A warning: do not unplug.
        announcer->announce(event.elapsed);
    }
}

void CVProgressDialog::startStep(const StepEvent &)
{
    lateAnnounced = false;
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

// Without a title bar the window manager draws no frame either: the dialog's
// own edge keeps it apart from the log it covers.
void CVProgressDialog::paintEvent(QPaintEvent *event)
{
    QProgressDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::WindowText), edgeWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(edgeWidth / 2.0, edgeWidth / 2.0, -edgeWidth / 2.0, -edgeWidth / 2.0));
}
