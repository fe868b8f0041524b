#ifndef CVPROGRESSDIALOG_H
#define CVPROGRESSDIALOG_H

#include <QProgressDialog>

// Modal busy indicator shown while a worker talks to the instrument. It
// cannot be dismissed: the window behind it must stay blocked until the
// worker is done, or a second workflow could reach the instrument.
class CVProgressDialog : public QProgressDialog
{
    Q_OBJECT

public:
    CVProgressDialog(const QString &labelText, QWidget *parent);

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
};

#endif
