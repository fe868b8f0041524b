#include "ui/Updater.h"

#include "catalogue/Catalogue.h"
#include "device/DeviceCall.h"
#include "record/RunRecord.h"
#include "session/CheckDecisions.h"
#include "session/ProgressText.h"
#include "session/Reports.h"
#include "ui/Announcer.h"
#include "ui/CVProgressDialog.h"
#include "ui/DeviceSelectorDialog.h"
#include "ui/FocusRing.h"
#include "ui/SaveLog.h"
#include "ui/StatusColors.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QtMath>

#include <memory>
#include <utility>

namespace {

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

// The window names itself to the system while a write keeps the PC awake.
SessionSettings Updater::sessionSettings()
{
    SessionSettings settings;
    settings.window = [this] { return static_cast<std::uintptr_t>(window()->winId()); };
    return settings;
}

Updater::Updater(QWidget *parent)
    : QWidget(parent)
    , session(new RunSession(*this, sessionSettings(), this))
    , deviceStatus(session->deviceStatus())
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

    // What was said of the last workflow is gone from a reader's view when the next starts.
    for (QPushButton *button : { checkVersionsButton, updateButton, restoreButton })
        connect(button, &QPushButton::clicked, announcer, &Announcer::clear);
    connect(checkVersionsButton, &QPushButton::clicked, this, [this] { logTimes.runStarted(); });
    connect(checkVersionsButton, &QPushButton::clicked, this, &Updater::checkVersions);
    connect(updateButton, &QPushButton::clicked, this, &Updater::updateDevice);
    connect(restoreButton, &QPushButton::clicked, this, &Updater::restoreDevice);
    connect(session, &RunSession::line, this, &Updater::showLine);
    connect(session, &RunSession::step, this, &Updater::showStep);
    connect(session, &RunSession::ended, this, &Updater::ended);
    // The window's warnings go where Qt's go: standard error.
    connect(session, &RunSession::notice, this, [](const QString &text) { qWarning("%s", qUtf8Printable(text)); });

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
    save->setEnabled(!session->running());
    menu->popup(logView->viewport()->mapToGlobal(position));
}

// Not while a workflow writes to the log: the file would hold half of it.
void Updater::saveLog()
{
    if (session->running())
        return;
    QString instrument;
    if (deviceStatus.checkState != NotDetected && knownDeviceType(deviceStatus.deviceType))
        instrument = deviceTypeName(deviceStatus.deviceType) + QLatin1Char('-') + QString::number(deviceStatus.serial);
    saveLogAs(this, LogTimes::stampedText(logView->document()), instrument, logTimes.runBegan());
}

void Updater::writeIntroduction()
{
    addLine(QStringLiteral("KD740 firmware updater"));
    addLine(QStringLiteral("Using KD API version ") + libraryVersion());
    addLine(QString());
    addLine(QStringLiteral("Please read below before continuing."));
    addLine(QString());
    QStringList usb, network;
    for (DeviceType type : knownModels()) {
        addLine(QStringLiteral("Updates %1 to firmware version ").arg(deviceTypeName(type))
                + versionString(shippedFirmware(type)));
        (linkOf(type) == LinkKind::Network ? network : usb) << deviceTypeName(type);
    }
    addLine(QString());
    addLine(QStringLiteral("Ensure only one KD740 is connected to the PC."));
    // The network models' configuration port is USB 2.0.
    addLine(QStringLiteral("Connect %1 devices over USB 3.0 and connect %2 devices over USB 2.0.")
                .arg(usb.join(QLatin1String(" and ")), network.join(QLatin1String(" and "))));
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
    logTimes.stamp(cursor.block());
    cursor.endEditBlock();

    if (atBottom)
        scrollBar->setValue(scrollBar->maximum());
}

void Updater::addStatusLine(const QString &s, bool success)
{
    addColouredLine(s, statusColor(success, logView->palette()));
}

void Updater::addColouredLine(const QString &s, const QColor &colour)
{
    const QColor previous = textColor;
    textColor = colour;
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

// Every line is said to a screen reader too: what the check found, how a
// run ended and a warning at once, the steps in between once the reader is
// free. An empty line only spaces the log.
void Updater::showLine(const QString &text, LineTone tone, bool report)
{
    switch (tone) {
    case LineTone::Normal: addLine(text); break;
    case LineTone::Warning: addColouredLine(text, warningColor(logView->palette())); break;
    case LineTone::Success:
    case LineTone::Failure: addStatusLine(text, tone == LineTone::Success); break;
    }
    if (!text.isEmpty())
        announcer->announce(
            text, report || tone != LineTone::Normal ? Announcer::Urgency::Assertive : Announcer::Urgency::Polite);
}

// Lines follow the end only while it is in view; a scroll or a resize can
// leave it out of view, and the outcome must not be missed.
void Updater::scrollLogToEnd()
{
    QScrollBar *scrollBar = logView->verticalScrollBar();
    scrollBar->setValue(scrollBar->maximum());
}

// A busy dialog for each worker, with the workflow's label: each ends with
// its part of the work, as one left hidden stays in a screen reader's view
// of the program, and is gone before the outcome, which a screen reader then
// hears in the window it belongs to.
void Updater::showStep(const StepEvent &event)
{
    if (event.text.isEmpty()) {
        dropBusyDialog();
        return;
    }
    if (busyDialog)
        return;
    busyDialog = new CVProgressDialog(busyLabel, event.text, window());
    connect(session, &RunSession::progress, busyDialog, &CVProgressDialog::showProgress);
    connect(session, &RunSession::step, busyDialog, &CVProgressDialog::startStep);
    busyDialog->show();
}

// At once, before any question the session asks next: it takes no input
// of its own that could still be on its way.
void Updater::dropBusyDialog()
{
    delete busyDialog;
    busyDialog = nullptr;
}

// Every workflow starts with its title, whatever part of the log was in view.
void Updater::checkVersions()
{
    if (session->running())
        return;
    checkVersionsButton->setEnabled(false);
    busyLabel = QStringLiteral("Checking KD740 firmware version\nEstimated 30 seconds\nPlease Wait");
    session->start({ Workflow::Check, true });
    scrollLogToEnd();
}

void Updater::askModel()
{
    auto *selector = new DeviceSelectorDialog(window());
    // Answered once the key or click that closed it has been delivered: a
    // cancel ends the program. Nothing is open on the instrument at this
    // point, so it is not left half-configured.
    connect(
        selector, &QDialog::finished, this,
        [this, selector] {
            selector->deleteLater();
            session->bootstrapAs(selector->cancelled ? std::nullopt
                                                     : std::optional<DeviceType>(selector->selectedType));
        },
        Qt::QueuedConnection);
    selector->open();
}

void Updater::askDowngrade()
{
    auto *question = new QMessageBox(QMessageBox::Question, QStringLiteral("Warning"),
                                     QStringLiteral("Your KD740 appears to have a newer firmware version.\n"
                                                    "Installing this will overwrite your firmware with an older "
                                                    "version.\nAre you sure you wish to continue?"),
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setDefaultButton(QMessageBox::No);
    // Kept, hidden, until the panel goes: the key that answers it is still
    // being delivered after the answer, which a run asks for once.
    connect(question, &QMessageBox::finished, this, [this](int answer) {
        session->answerDowngrade(answer == QMessageBox::Yes ? RunSession::Downgrade::Install
                                                            : RunSession::Downgrade::Decline);
    });
    question->open();
}

// Asked while the worker waits, before it has opened the instrument: nothing
// is held on it however long the user takes. Over the busy dialog, which
// stays up: asked over the main window, it would block the busy dialog,
// and the window manager would hand the keyboard to the main window before
// the question, which a screen reader would then announce twice. The
// window's, kept, hidden, until the next one, as the key that answers it is
// still being delivered when the run, and its busy dialog, may have ended.
void Updater::askLowBattery(int percent)
{
    delete batteryQuestion;
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Low Battery"),
                                QStringLiteral("The PC runs on battery at %1 %. If it shuts down during the write, "
                                               "the KD740 may not work until it is restored.")
                                    .arg(percent),
                                QMessageBox::NoButton, window());
    box->setInformativeText(QStringLiteral("Connect the PC to mains power, then continue."));
    QPushButton *proceed = box->addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this,
            [this, box, proceed] { session->answerLowBattery(box->clickedButton() == proceed); });
    batteryQuestion = box;
    openOverBusyDialog(box);
}

// Once the window manager has given the busy dialog the keyboard, a second
// at most: openbox handles its requests in turn, and one for the busy dialog
// still on its way would take the keyboard from the question, which a
// reader would then announce twice.
void Updater::openOverBusyDialog(QDialog *dialog)
{
    // Over it, though not its child: the dialog outlives it.
    if (busyDialog) {
        dialog->winId();
        dialog->windowHandle()->setTransientParent(busyDialog->windowHandle());
    }
    if (!busyDialog || busyDialog->isActiveWindow()) {
        dialog->open();
        return;
    }
    auto *wait = new QTimer(dialog);
    wait->setSingleShot(true);
    const auto opened = std::make_shared<bool>(false);
    const auto open = [dialog, opened] {
        if (!std::exchange(*opened, true))
            dialog->open();
    };
    connect(qApp, &QGuiApplication::focusWindowChanged, wait, [this, open] {
        if (busyDialog && busyDialog->isActiveWindow())
            open();
    });
    connect(wait, &QTimer::timeout, dialog, open);
    wait->start(1000);
}

// Not yet shown, it is not shown at all.
void Updater::withdrawLowBattery()
{
    if (batteryQuestion && !batteryQuestion->isVisible())
        delete batteryQuestion;
    else if (batteryQuestion)
        batteryQuestion->reject();
}

// Asked before anything is erased; No, the default, leaves the instrument as it is.
void Updater::askWithoutRecord(Workflow workflow, const QString &reason)
{
    const QString verb = workflow == Workflow::Restore ? QStringLiteral("Restore") : QStringLiteral("Update");
    auto *question = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("No Record"),
        QStringLiteral("No record of this run can be written: %1. %2 without a record?").arg(reason, verb),
        QMessageBox::Yes | QMessageBox::No, window());
    question->setDefaultButton(QMessageBox::No);
    question->setEscapeButton(QMessageBox::No);
    // Kept, hidden, until the panel goes, as the downgrade question is.
    connect(question, &QMessageBox::finished, this,
            [this](int answer) { session->answerWithoutRecord(answer == QMessageBox::Yes); });
    question->open();
}

// The next thing to do after a check is the button of what it offers.
void Updater::offerWrite(Workflow workflow)
{
    dropBusyDialog();
    QPushButton *button = workflow == Workflow::Restore ? restoreButton : updateButton;
    button->setEnabled(true);
    scrollLogToEnd();
    button->setFocus(Qt::OtherFocusReason);
}

void Updater::updateDevice()
{
    if (session->running())
        return;
    busyLabel = QStringLiteral("Updating Device\nDO NOT UNPLUG THE DEVICE\n"
                               "This process can take several minutes\nPlease Wait...");
    session->acceptOffer();
    scrollLogToEnd();
}

void Updater::restoreDevice()
{
    if (session->running())
        return;
    busyLabel = QStringLiteral("Performing Device Restore\nDO NOT UNPLUG DEVICE\n"
                               "This process will take up to 10 minutes\nPlease Wait...");
    session->acceptOffer();
    scrollLogToEnd();
}

// A run is checked once and writes at most once, and after a write the
// instrument must be power-cycled, so the buttons take no more clicks
// whatever the end; the log stays readable. A write nothing confirmed is
// checked again here once the power was cycled, as its advice says.
void Updater::ended(const RunEnd &end)
{
    dropBusyDialog();
    for (QPushButton *button : { checkVersionsButton, updateButton, restoreButton })
        button->setEnabled(false);
    scrollLogToEnd();
    if (end.kind == RunEnd::Kind::NotConfirmed) {
        checkVersionsButton->setEnabled(true);
        checkVersionsButton->setFocus(Qt::OtherFocusReason);
    }
    // Writes take minutes; a technician who looked away sees that it is over.
    if (end.wrote != Workflow::Check)
        QApplication::alert(window());
    if (end.endsProgram)
        QCoreApplication::exit(0);
}
