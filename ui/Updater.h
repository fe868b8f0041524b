#ifndef UPDATER_H
#define UPDATER_H

#include "workers/DeviceStatus.h"

#include <QColor>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class Announcer;
class ErasingThread;
class QAction;
class QMessageBox;
class QPushButton;
class QTextEdit;
class RunRecord;
class WritePartsThread;

// The working surface of the main window: the message log on the left, the
// three workflow buttons on the right.
class Updater : public QWidget
{
    Q_OBJECT

public:
    explicit Updater(QWidget *parent);

    // What the last version check found; the update and restore start from it.
    DeviceStatus deviceStatus;

private slots:
    void addLine(const QString &s);
    void addStatusLine(const QString &s, bool success);
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
    void writeTitle(const QString &title);
    void scrollLogToEnd();
    void bootstrap();
    void reportCheck();
    void reportVersions();
    void askOnLowBattery(ErasingThread &worker);
    void writeParts(WritePartsThread &worker, const QString &title, const QString &busyLabel);
    void reportOutcome(bool succeeded, const QStringList &stateAfterFailure);
    void addOutcomeLines(const QStringList &lines);
    void focusEnabledWorkflowButton();

    QTextEdit *logView;
    QPushButton *checkVersionsButton;
    QPushButton *updateButton;
    QPushButton *restoreButton;
    // Says each outcome line to a screen reader as it is written.
    Announcer *announcer;
    // Ctrl+S anywhere in the window.
    QAction *saveLogAction;
    // What this run did to the instrument, kept on the disk; begun by the check.
    RunRecord *record = nullptr;
    // Lines added while the log's end is in view keep it in view.
    bool logFollowsEnd = true;
    // The log's colour is the panel's own, never the view's cursor format,
    // which a click into the log would change.
    QColor textColor;
    // Only one workflow may talk to the instrument at a time. The busy
    // dialog's modality keeps the user out; this also refuses re-entry
    // from the nested event loop by any other path.
    bool workflowRunning = false;
    // The question about a low battery while it is asked.
    QPointer<QMessageBox> batteryQuestion;
};

#endif
