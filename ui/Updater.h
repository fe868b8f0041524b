#ifndef UPDATER_H
#define UPDATER_H

#include "session/RunSession.h"
#include "ui/LogTimes.h"

#include <QColor>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class Announcer;
class CVProgressDialog;
class QAction;
class QDialog;
class QMessageBox;
class QPushButton;
class QTextEdit;

// The working surface of the main window: the message log on the left, the
// three workflow buttons on the right. It starts the run's session, answers
// its questions with dialogs and shows its events.
class Updater : public QWidget, private RunQuestions
{
    Q_OBJECT

    // First, for deviceStatus.
    RunSession *const session;

public:
    explicit Updater(QWidget *parent);

    // What the last version check found; the update and restore start from it.
    DeviceStatus &deviceStatus;

private slots:
    void addLine(const QString &s);
    void addStatusLine(const QString &s, bool success);
    void addColouredLine(const QString &s, const QColor &colour);
    void replaceLastLine(const QString &s);
    void checkVersions();
    void updateDevice();
    void restoreDevice();

private:
    void createLogView();
    void showLogMenu(const QPoint &position);
    void saveLog();
    void writeIntroduction();
    void keepIntroductionReadable();
    void scrollLogToEnd();
    SessionSettings sessionSettings();
    void askModel() override;
    void askDowngrade() override;
    void askLowBattery(int percent) override;
    void withdrawLowBattery() override;
    void askWithoutRecord(Workflow workflow, const QString &reason) override;
    void openOverBusyDialog(QDialog *dialog);
    void showLine(const QString &text, LineTone tone, bool report);
    void dropBusyDialog();
    void showStep(const StepEvent &event);
    void offerWrite(Workflow workflow) override;
    void ended(const RunEnd &end);

    QTextEdit *logView;
    QPushButton *checkVersionsButton;
    QPushButton *updateButton;
    QPushButton *restoreButton;
    // Ctrl+S anywhere in the window.
    QAction *saveLogAction;
    // Shown while a worker talks to the instrument: the window behind it
    // takes no input, so no second workflow can reach the instrument.
    CVProgressDialog *busyDialog = nullptr;
    // The label of the workflow's busy dialogs.
    QString busyLabel;
    // Says each line of a run to a screen reader.
    Announcer *announcer = nullptr;
    // The question about a low battery while it is asked.
    QPointer<QMessageBox> batteryQuestion;
    // When each line of a run was written, for a saved log.
    LogTimes logTimes;
    // Lines added while the log's end is in view keep it in view.
    bool logFollowsEnd = true;
    // The log's colour is the panel's own, never the view's cursor format,
    // which a click into the log would change.
    QColor textColor;
};

#endif
