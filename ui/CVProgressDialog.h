#ifndef CVPROGRESSDIALOG_H
#define CVPROGRESSDIALOG_H

#include "workers/LibraryProgress.h"
#include "workers/ProgressText.h"

#include <QProgressDialog>
#include <QTimer>

class Announcer;
class StepProgressBar;
class WritePartsThread;

// Modal busy indicator shown while a worker talks to the instrument. It
// cannot be dismissed: the window behind it must stay blocked until the
// worker is done, or a second workflow could reach the instrument. Under
// the workflow's label it says, once a second, what is happening and for
// how long; it keeps one size throughout. A screen reader hears each new
// step, and once that a step takes longer than usual; the time taken is
// the progress bar's description, read when asked for.
class CVProgressDialog : public QProgressDialog
{
    Q_OBJECT

public:
    // activity: what the worker does before its first step.
    CVProgressDialog(const QString &labelText, const QString &activity, QWidget *parent);

    // Shows the worker's steps and the percentage its library reports.
    // The worker must outlive the dialog.
    void follow(const WritePartsThread &worker);

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void startStep(int step, int steps, const QString &part, int expectedSeconds);
    void showProgress();

private:
    void fixSize();

    QString workflowLabel;
    ProgressText progress;
    QTimer ticker;
    StepProgressBar *bar;
    Announcer *announcer;
    bool lateAnnounced = false;
    const LibraryProgress *library = nullptr;
    PercentFilter percentFilter;
};

#endif
