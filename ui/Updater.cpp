#include "ui/Updater.h"

#include "catalogue/Catalogue.h"
#include "device/kd_api.h"
#include "power/KeepAwake.h"
#include "power/WriteGuard.h"
#include "ui/CVProgressDialog.h"
#include "ui/DeviceSelectorDialog.h"
#include "ui/WorkerWait.h"
#include "workers/BootstrapThread.h"
#include "workers/CheckVersionThread.h"
#include "workers/ImageCheck.h"
#include "workers/RestoreDeviceThread.h"
#include "workers/UpdateDeviceThread.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstdlib>

namespace {

const QColor successColor(34, 177, 76, 255);
const QColor failureColor(Qt::red);

} // namespace

Updater::Updater(QWidget *parent)
    : QWidget(parent)
{
    createLogView();

    checkVersionsButton = new QPushButton(QStringLiteral("  Check Versions  "));
    updateButton = new QPushButton(QStringLiteral("  Update  "));
    updateButton->setEnabled(false);
    restoreButton = new QPushButton(QStringLiteral("  Restore  "));
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
}

void Updater::createLogView()
{
    logView = new QTextEdit;
    logView->setReadOnly(true);
    // The panel is disabled once an update or restore is over, and the log
    // must still read clearly then: its outcome is what the user acts on.
    QPalette palette = logView->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
    logView->setPalette(palette);
    // Nor can it be scrolled then, so a resize must not take its end out of view.
    connect(logView->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        if (!isEnabled())
            scrollLogToEnd();
    });
}

void Updater::writeIntroduction()
{
    addLine(QStringLiteral("KD740 firmware updater"));
    addLine(QString::asprintf("Using KD API version %s", kdGetAPIVersion()));
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
}

void Updater::addStatusLine(const QString &s, bool success)
{
    const QColor previous = textColor;
    textColor = success ? successColor : failureColor;
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

    writeTitle(QStringLiteral("Checking Firmware Versions..."));
    checkVersionsButton->setEnabled(false);
    CVProgressDialog dialog(QStringLiteral("Checking KD740 firmware version\nEstimated 30 seconds\nPlease Wait"),
                            nullptr);
    dialog.show();

    CheckVersionThread worker;
    connect(&worker, &CheckVersionThread::updateText, this, &Updater::addLine);
    runWorker(worker, this);
    dialog.hide();

    deviceStatus = worker.deviceStatus;
    if (deviceStatus.checkState == NotDetected)
        bootstrap(dialog);
    reportCheck();
    scrollLogToEnd();
}

void Updater::bootstrap(QWidget &busyDialog)
{
    addLine(QStringLiteral("Failed to open KD740 boot device."));
    addLine(QStringLiteral("Looking to bootstrap KD740."));

    DeviceSelectorDialog selector(nullptr);
    selector.exec();
    // Nothing is open on the instrument at this point, so the program may
    // end at once without leaving it half-configured.
    if (selector.cancelled)
        std::exit(0);

    deviceStatus.deviceType = selector.selectedType;
    deviceStatus.targetFirmware = shippedFirmware(deviceStatus.deviceType);
    const QByteArray image = bootImagePath(deviceStatus.targetFirmware);
    // An image the library cannot use would only show as a failed bootstrap.
    const QString problem = firstUnusableImage({ image });
    if (!problem.isEmpty()) {
        addLine(problem);
        return;
    }
    busyDialog.show();
    BootstrapThread worker;
    worker.deviceStatus = deviceStatus;
    runWorker(worker, this);
    busyDialog.hide();
    deviceStatus = worker.deviceStatus;
}

void Updater::reportCheck()
{
    switch (deviceStatus.checkState) {
    case NotDetected:
        addLine(QStringLiteral("Failed to detect device."));
        addLine(QStringLiteral("Cycle the power on the KD740, restart the firmware updater,  and try again."));
        addLine(QStringLiteral("If you continue to receive this message, contact Corvane."));
        break;
    case NeedsRestore:
        addLine(QStringLiteral("Attempting to bootstrap KD740 firmware."));
        addLine(QString::asprintf("Found serial %d", static_cast<int>(deviceStatus.serial)));
        addLine(QStringLiteral("Firmware can now be restored."));
        addLine(QStringLiteral("Press Restore to continue."));
        restoreButton->setEnabled(true);
        break;
    case Operational: reportVersions(); break;
    }
}

void Updater::reportVersions()
{
    const FirmwareTarget &device = deviceStatus.deviceFirmware;
    const FirmwareTarget &target = deviceStatus.targetFirmware;
    addLine(QStringLiteral("Found ") + deviceTypeName(deviceStatus.deviceType));
    addLine(QString::asprintf("Serial %d, with firmware ", static_cast<int>(deviceStatus.serial))
            + versionString(device));

    const bool shippedOlder = target.bootVersion < device.bootVersion || target.runVersion < device.runVersion
        || target.fpgaVersion < device.fpgaVersion;
    const bool shippedNewer = target.bootVersion > device.bootVersion || target.runVersion > device.runVersion
        || target.fpgaVersion > device.fpgaVersion;

    if (shippedOlder) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            this, QStringLiteral("Warning"),
            QStringLiteral("Your KD740 appears to have a newer firmware version.\n"
                           "Installing this will overwrite your firmware with an older version.\n"
                           "Are you sure you wish to continue?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            updateButton->setEnabled(true);
            addLine(QStringLiteral("Firmware can now be updated."));
            addLine(QStringLiteral("Press Update to continue."));
        } else {
            addLine(QStringLiteral("Cancelling operation."));
        }
    } else if (shippedNewer) {
        addLine(QStringLiteral("Firmware requires update."));
        addLine(QStringLiteral("Press Update to continue."));
        updateButton->setEnabled(true);
    } else {
        addLine(QStringLiteral("Firmware does not require update."));
    }
}

void Updater::updateDevice()
{
    if (workflowRunning)
        return;
    const QScopedValueRollback<bool> running(workflowRunning, true);

    writeTitle(QStringLiteral("Updating Firmware"));
    CVProgressDialog dialog(QStringLiteral("Updating Device\nDO NOT UNPLUG THE DEVICE\n"
                                           "This process can take several minutes\nPlease Wait..."),
                            nullptr);
    dialog.show();

    UpdateDeviceThread worker;
    worker.deviceStatus = deviceStatus;
    connect(&worker, &UpdateDeviceThread::addLine, this, &Updater::addLine);
    connect(&worker, &UpdateDeviceThread::replaceLastLine, this, &Updater::replaceLastLine);
    WriteGuard guard;
    connect(&guard, &WriteGuard::endDeferred, this, &Updater::addLine);
    const KeepAwake keepAwake(worker, window());
    runWorker(worker, this);
    reportOutcome(worker.succeeded);
    if (guard.finish())
        QCoreApplication::exit(0);
}

void Updater::restoreDevice()
{
    if (workflowRunning)
        return;
    const QScopedValueRollback<bool> running(workflowRunning, true);

    writeTitle(QStringLiteral("Restoring Device"));
    CVProgressDialog dialog(QStringLiteral("Performing Device Restore\nDO NOT UNPLUG DEVICE\n"
                                           "This process will take up to 10 minutes\nPlease Wait..."),
                            nullptr);
    dialog.show();

    RestoreDeviceThread worker;
    worker.deviceStatus = deviceStatus;
    connect(&worker, &RestoreDeviceThread::addLine, this, &Updater::addLine);
    WriteGuard guard;
    connect(&guard, &WriteGuard::endDeferred, this, &Updater::addLine);
    const KeepAwake keepAwake(worker, window());
    runWorker(worker, this);
    reportOutcome(worker.succeeded);
    if (guard.finish())
        QCoreApplication::exit(0);
}

// After an update or restore the instrument must be power-cycled, so the
// panel takes no more input whatever the outcome.
void Updater::reportOutcome(bool succeeded)
{
    if (succeeded) {
        addStatusLine(QStringLiteral("Firmware updated successfully."), true);
    } else {
        addStatusLine(QStringLiteral("Firmware updated unsuccessfully."), false);
        addLine(QStringLiteral("Check device connections and re-run the software."));
        addLine(QStringLiteral("If problem persists, contact Corvane."));
    }
    addLine(QStringLiteral("You may now close the software."));
    setEnabled(false);
    scrollLogToEnd();
    // Writes take minutes; a technician who looked away sees that it is over.
    QApplication::alert(window());
}
