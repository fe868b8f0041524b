#ifndef CVPROGRESSDIALOG_H
#define CVPROGRESSDIALOG_H

#include "session/RunEvents.h"

#include <QProgressDialog>

class Announcer;
class StepProgressBar;

// Modal busy indicator shown while a worker talks to the instrument. It
// cannot be dismissed: the window behind it must stay blocked until the
// worker is done, or a second workflow could reach the instrument. Under
// the workflow's label it shows the session's progress: what is happening
// and for how long; it keeps one size throughout. A screen reader hears each
// new step, and once that a step takes longer than usual; the time taken is
// the progress bar's description, read when asked for.
class CVProgressDialog : public QProgressDialog
{
    Q_OBJECT

public:
    // activity: what the worker does before its first step.
    CVProgressDialog(const QString &labelText, const QString &activity, QWidget *parent);

public slots:
    void reject() override;
    void showProgress(const ProgressEvent &event);
    // A part's step begins: it may be late once more.
    void startStep(const StepEvent &event);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void fixSize();

    QString workflowLabel;
    StepProgressBar *bar;
    Announcer *announcer;
    QString elapsed;
    bool lateAnnounced = false;
};

#endif
