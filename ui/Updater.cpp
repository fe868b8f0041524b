#include "ui/Updater.h"

#include "catalogue/Catalogue.h"
#include "device/DeviceCall.h"
#include "device/kd_api.h"
#include "power/EraseGate.h"
#include "power/KeepAwake.h"
#include "power/WriteGuard.h"
#include "record/RunRecord.h"
#include "ui/Announcer.h"
#include "ui/CVProgressDialog.h"
#include "ui/DeviceSelectorDialog.h"
#include "ui/FocusRing.h"
#include "ui/SaveLog.h"
#include "ui/StatusColors.h"
#include "workers/BootstrapThread.h"
#include "workers/CheckDecisions.h"
#include "workers/CheckVersionThread.h"
#include "workers/Reports.h"
#include "workers/RestoreDeviceThread.h"
#include "workers/UpdateDeviceThread.h"
#include "workers/WorkerWait.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtMath>

#include <cstdlib>
#include <memory>

namespace {

QStringList texts(const QVector<ReportLine> &lines)
{
    QStringList result;
    for (const ReportLine &line : lines)
        result << line.text;
    return result;
}

const QString checkBusyLabel = QStringLiteral("Checking KD740 firmware version\nEstimated 30 seconds\nPlease Wait");

// The text keeps its blanks on screen; a screen reader gets the name
// without them. Alt and the key press the button while it is enabled, and
// so does Enter while it has the focus.
QPushButton *workflowButton(const QString &text, const QString &shortcut)
{
    auto *button = new QPushButton(text);
    button->setAccessibleName(text.trimmed());
    button->setShortcut(QKeySequence(shortcut, QKeySequence::PortableText));
    button->setAutoDefault(true);
    return button;
}

} // namespace

Updater::Updater(QWidget *parent)
    : QWidget(parent)
{
    showFocusAlways();
    createLogView();
    announcer = new Announcer(this);

    checkVersionsButton = workflowButton(QStringLiteral("  Check Versions  "), QStringLiteral("Alt+C"));
    updateButton = workflowButton(QStringLiteral("  Update  "), QStringLiteral("Alt+U"));
    updateButton->setEnabled(false);
    restoreButton = workflowButton(QStringLiteral("  Restore  "), QStringLiteral("Alt+R"));
    restoreButton->setEnabled(false);

    auto *outerLayout = new QHBoxLayout;
    auto *leftLayout = new QVBoxLayout;
    auto *rightLayout = new QVBoxLayout;
    leftLayout->addWidget(logView);
    rightLayout->addWidget(checkVersionsButton);
    rightLayout->addWidget(updateButton);
    rightLayout->addWidget(restoreButton);
    rightLayout->addStretch();
    outerLayout->addLayout(leftLayout);
    outerLayout->addLayout(rightLayout);
    setLayout(outerLayout);

    connect(checkVersionsButton, &QPushButton::clicked, this, &Updater::checkVersions);
    connect(updateButton, &QPushButton::clicked, this, &Updater::updateDevice);
    connect(restoreButton, &QPushButton::clicked, this, &Updater::restoreDevice);

    writeIntroduction();
    keepIntroductionReadable();
}

void Updater::createLogView()
{
    logView = new QTextEdit;
    logView->setReadOnly(true);
    logView->setAccessibleName(QStringLiteral("Log"));
    // Should anything disable it, it reads as when enabled: the status
    // colours are chosen against its one background.
    QPalette palette = logView->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
    palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Base));
    logView->setPalette(palette);
    // Any part of it can be selected and copied, from the keyboard too.
    logView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A resize must not take the end out of view while it is followed: the
    // outcome is what the user acts on.
    QScrollBar *scrollBar = logView->verticalScrollBar();
    connect(scrollBar, &QScrollBar::valueChanged, this,
            [this, scrollBar](int value) { logFollowsEnd = value >= scrollBar->maximum(); });
    connect(scrollBar, &QScrollBar::rangeChanged, this, [this] {
        if (logFollowsEnd)
            scrollLogToEnd();
    });

    saveLogAction = new QAction(QStringLiteral("Save Log\u2026"), this);
    saveLogAction->setShortcut(QKeySequence::Save);
    connect(saveLogAction, &QAction::triggered, this, &Updater::saveLog);
    addAction(saveLogAction);
    logView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(logView, &QTextEdit::customContextMenuRequested, this, &Updater::showLogMenu);
}

void Updater::showLogMenu(const QPoint &position)
{
    QMenu *menu = logView->createStandardContextMenu(position);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction *save = menu->addAction(saveLogAction->text(), this, &Updater::saveLog);
    save->setShortcut(saveLogAction->shortcut());
    save->setEnabled(!workflowRunning);
    menu->popup(logView->viewport()->mapToGlobal(position));
}

// Not while a workflow writes to the log: the file would hold half of it.
void Updater::saveLog()
{
    if (workflowRunning)
        return;
    QString instrument;
    if (deviceStatus.checkState != NotDetected && knownDeviceType(deviceStatus.deviceType))
        instrument = deviceTypeName(deviceStatus.deviceType) + QLatin1Char('-') + QString::number(deviceStatus.serial);
    saveLogAs(this, logView->toPlainText(), instrument);
}

void Updater::writeIntroduction()
{
    addLine(QStringLiteral("KD740 firmware updater"));
    addLine(QStringLiteral("Using KD API version ") + libraryVersion());
    addLine(QString());
    addLine(QStringLiteral("Please read below before continuing."));
    addLine(QString());
    addLine(QStringLiteral("Updates KD740A to firmware version ") + versionString(shippedFirmware(KD740A)));
    addLine(QStringLiteral("Updates KD740B to firmware version ") + versionString(shippedFirmware(KD740B)));
    addLine(QStringLiteral("Updates KD740C to firmware version ") + versionString(shippedFirmware(KD740C)));
    addLine(QString());
    addLine(QStringLiteral("Ensure only one KD740 is connected to the PC."));
    addLine(QStringLiteral("Connect KD740A and KD740B devices over USB 3.0 and connect KD740C devices over USB 2.0."));
    addStatusLine(QStringLiteral("Do NOT disconnect the KD740 at any time during the update."), false);
    addLine(QStringLiteral("Disconnecting the KD740 during an update will leave your device in an unoperable state."));
}

// The window cannot shrink below the size at which the introduction's
// warnings still read: no line broken into more than a few, no word broken.
void Updater::keepIntroductionReadable()
{
    const QFontMetrics metrics(logView->document()->defaultFont());
    int width = 0;
    for (QTextBlock block = logView->document()->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        width = qMax(width, metrics.horizontalAdvance(text) / 2 + metrics.averageCharWidth() * 8);
        for (const QString &word : text.split(QLatin1Char(' ')))
            width = qMax(width, metrics.horizontalAdvance(word));
    }
    const int frame = 2 * (logView->frameWidth() + qCeil(logView->document()->documentMargin()));
    // Scrolled, as the log is at that size.
    const int scrollBar = logView->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, logView);
    logView->setMinimumSize(width + frame + scrollBar, metrics.lineSpacing() * 8 + frame);
}

// Written as plain text: a line is never taken for markup, whatever it holds.
void Updater::addLine(const QString &s)
{
    QScrollBar *scrollBar = logView->verticalScrollBar();
    const bool atBottom = scrollBar->value() >= scrollBar->maximum();

    QTextCharFormat format;
    if (textColor.isValid())
        format.setForeground(textColor);
    QTextCursor cursor(logView->document());
    cursor.movePosition(QTextCursor::End);
    // One edit, so that the log is laid out once per line.
    cursor.beginEditBlock();
    if (!logView->document()->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), format);
    cursor.insertText(s, format);
    cursor.endEditBlock();

    if (atBottom)
        scrollBar->setValue(scrollBar->maximum());
    if (record)
        record->addLine(s);
}

void Updater::addStatusLine(const QString &s, bool success)
{
    const QColor previous = textColor;
    textColor = statusColor(success, logView->palette());
    addLine(s);
    textColor = previous;
}

void Updater::replaceLastLine(const QString &s)
{
    QTextCursor cursor(logView->document());
    cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor);
    cursor.deletePreviousChar();
    cursor.select(QTextCursor::LineUnderCursor);
    if (cursor.selectedText() == QString(QChar(0x0A))) {
        cursor.removeSelectedText();
        cursor.deletePreviousChar();
        cursor.select(QTextCursor::LineUnderCursor);
    }
    cursor.removeSelectedText();
    cursor.deletePreviousChar();
    addLine(s);
}

// Every workflow starts with its title, whatever part of the log was in view.
void Updater::writeTitle(const QString &title)
{
    addLine(QString());
    addLine(title);
    addLine(QString());
    scrollLogToEnd();
}

// Lines follow the end only while it is in view; a scroll or a resize can
// leave it out of view, and the outcome must not be missed.
void Updater::scrollLogToEnd()
{
    QScrollBar *scrollBar = logView->verticalScrollBar();
    scrollBar->setValue(scrollBar->maximum());
}

void Updater::checkVersions()
{
    if (workflowRunning)
        return;
    const QScopedValueRollback<bool> running(workflowRunning, true);

    // A run ends where the next check begins.
    delete record;
    record = new RunRecord(recordsFolder(), this);
    // Queued: the failure may come from within a coloured line, and its own is plain.
    connect(record, &RunRecord::writeFailed, this, &Updater::addLine, Qt::QueuedConnection);
    writeTitle(checkTitle());
    checkVersionsButton->setEnabled(false);
    // Each dialog ends with its part of the work: one left hidden stays in
    // a screen reader's view of the program.
    {
        CVProgressDialog dialog(checkBusyLabel, ProgressText::reading(), window());
        dialog.show();
        CheckVersionThread worker;
        connect(&worker, &CheckVersionThread::updateText, this, &Updater::addLine);
        runWorker(worker, this);
        deviceStatus = worker.deviceStatus;
    }
    if (deviceStatus.checkState == NotDetected)
        bootstrap();
    reportCheck();
    if (const QString where = record->checkEnded(deviceStatus); !where.isEmpty())
        addLine(where);
    scrollLogToEnd();
    focusEnabledWorkflowButton();
}

void Updater::bootstrap()
{
    for (const QString &line : bootstrapIntroLines())
        addLine(line);

    int selectedType = 0;
    {
        DeviceSelectorDialog selector(window());
        selector.exec();
        // Nothing is open on the instrument at this point, so the program
        // may end at once without leaving it half-configured.
        if (selector.cancelled)
            std::exit(0);
        selectedType = selector.selectedType;
    }

    deviceStatus = bootstrapRecord(deviceStatus, selectedType);
    CVProgressDialog busyDialog(checkBusyLabel, ProgressText::reading(), window());
    busyDialog.show();
    BootstrapThread worker;
    worker.deviceStatus = deviceStatus;
    connect(&worker, &ErasingThread::addLine, this, &Updater::addLine);
    askOnLowBattery(worker);
    runWorker(worker, this);
    deviceStatus = worker.deviceStatus;
    if (!worker.imageProblem.isEmpty())
        addOutcomeLines({ worker.imageProblem });
}

void Updater::reportCheck()
{
    switch (deviceStatus.checkState) {
    case NotDetected: addOutcomeLines(notDetectedLines()); break;
    case NeedsRestore:
        addOutcomeLines(texts(needsRestoreLines(deviceStatus)));
        restoreButton->setEnabled(true);
        break;
    case Operational: reportVersions(); break;
    }
}

void Updater::reportVersions()
{
    addOutcomeLines(foundLines(deviceStatus));

    const UpdateOffer offer = updateOffer(deviceStatus.deviceFirmware, deviceStatus.targetFirmware);
    bool accepted = false;
    if (offer == UpdateOffer::Downgrade) {
        accepted = QMessageBox::question(this, QStringLiteral("Warning"),
                                         QStringLiteral(
                                             "Your KD740 appears to have a newer firmware version.\n"
                                             "Installing this will overwrite your firmware with an older version.\n"
                                             "Are you sure you wish to continue?"),
                                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    }
    updateButton->setEnabled(offer == UpdateOffer::Update || accepted);
    addOutcomeLines(texts(offerLines(offer, accepted)));
}

void Updater::addOutcomeLines(const QStringList &lines)
{
    for (const QString &line : lines) {
        addLine(line);
        announcer->announce(line);
    }
}

// The next thing to do after a check is the button it enabled.
void Updater::focusEnabledWorkflowButton()
{
    for (QPushButton *button : { updateButton, restoreButton }) {
        if (button->isEnabled())
            button->setFocus(Qt::OtherFocusReason);
    }
}

void Updater::updateDevice()
{
    UpdateDeviceThread worker;
    connect(&worker, &UpdateDeviceThread::replaceLastLine, this, &Updater::replaceLastLine);
    writeParts(worker, updateTitle(),
               QStringLiteral("Updating Device\nDO NOT UNPLUG THE DEVICE\n"
                              "This process can take several minutes\nPlease Wait..."));
}

void Updater::restoreDevice()
{
    RestoreDeviceThread worker;
    writeParts(worker, restoreTitle(),
               QStringLiteral("Performing Device Restore\nDO NOT UNPLUG DEVICE\n"
                              "This process will take up to 10 minutes\nPlease Wait..."));
}

// The frame the update and the restore share: their title, the busy dialog
// while the worker writes, and the outcome.
void Updater::writeParts(WritePartsThread &worker, const QString &title, const QString &busyLabel)
{
    if (workflowRunning)
        return;
    const QScopedValueRollback<bool> running(workflowRunning, true);

    writeTitle(title);
    auto dialog = std::make_unique<CVProgressDialog>(busyLabel, ProgressText::opening(), window());
    dialog->follow(worker);
    dialog->show();

    worker.deviceStatus = deviceStatus;
    connect(&worker, &WritePartsThread::addLine, this, &Updater::addLine);
    WriteGuard guard;
    connect(&guard, &WriteGuard::endDeferred, this, &Updater::addLine);
    connect(&guard, &WriteGuard::stopped, this, [this](const QString &line) {
        addLine(line);
        if (batteryQuestion)
            batteryQuestion->reject();
    });
    worker.gate = &guard.gate();
    askOnLowBattery(worker);
    const KeepAwake keepAwake(worker, static_cast<std::uintptr_t>(window()->winId()), &guard.gate(), record);
    runWorker(worker, this);
    // Gone before the outcome, which a screen reader then hears in the
    // window it belongs to.
    dialog.reset();
    reportOutcome(worker.succeeded, worker.stateAfterFailure());
    if (record)
        record->finish(worker.result());
    if (guard.finish())
        QCoreApplication::exit(0);
}

// Asked on this thread while the worker waits, before it has opened the
// instrument: nothing is held on it however long the user takes.
void Updater::askOnLowBattery(ErasingThread &worker)
{
    connect(
        &worker, &ErasingThread::batteryLow, this,
        [this, &worker](int percent) {
            // A stop that came first leaves nothing to ask.
            if (worker.gate && worker.gate->stopped()) {
                worker.answerBattery(false);
                return;
            }
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Low Battery"),
                            QStringLiteral("The PC runs on battery at %1 %. If it shuts down during the write, "
                                           "the KD740 may not work until it is restored.")
                                .arg(percent),
                            QMessageBox::NoButton, window());
            box.setInformativeText(QStringLiteral("Connect the PC to mains power, then continue."));
            QPushButton *proceed = box.addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
            QPushButton *cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
            box.setDefaultButton(cancel);
            box.setEscapeButton(cancel);
            batteryQuestion = &box;
            box.exec();
            worker.answerBattery(box.clickedButton() == proceed);
        },
        Qt::QueuedConnection);
}

// After an update or restore the instrument must be power-cycled, so the
// buttons take no more clicks whatever the outcome; the log stays readable.
void Updater::reportOutcome(bool succeeded, const QStringList &stateAfterFailure)
{
    const QString where = record ? record->whereLine() : QString();
    for (const ReportLine &line : outcomeLines(succeeded, stateAfterFailure, where)) {
        if (line.tone == LineTone::Normal)
            addLine(line.text);
        else
            addStatusLine(line.text, line.tone == LineTone::Success);
        announcer->announce(line.text);
    }
    for (QPushButton *button : { checkVersionsButton, updateButton, restoreButton })
        button->setEnabled(false);
    scrollLogToEnd();
    // Writes take minutes; a technician who looked away sees that it is over.
    QApplication::alert(window());
}
