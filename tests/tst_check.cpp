#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "session/Reports.h"
#include "ui/DeviceSelectorDialog.h"
#include "ui/Updater.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

using Instrument = SimulatedInstrument;

const QString busyLabel = QStringLiteral("Checking KD740 firmware version\nEstimated 30 seconds\nPlease Wait");
const QString downgradeText = QStringLiteral("Your KD740 appears to have a newer firmware version.\n"
                                             "Installing this will overwrite your firmware with an older version.\n"
                                             "Are you sure you wish to continue?");

// What a check should leave behind: the log after the introduction and the
// library calls, kept as a reference file per case so that a whole
// transcript can be read and reviewed at once.
struct Transcript
{
    QStringList log;
    QStringList calls;
};

const QString callsMarker = QStringLiteral("=== library calls");

Transcript readTranscript(const QString &name)
{
    Transcript transcript;
    const QStringList lines = readLines(QFINDTESTDATA(QStringLiteral("data/check/") + name + QStringLiteral(".txt")));
    const int marker = lines.indexOf(callsMarker);
    transcript.log = lines.mid(0, marker);
    if (marker >= 0)
        transcript.calls = lines.mid(marker + 1);
    return transcript;
}

// Leaves what really happened beside the test binary, to diff against the
// reference when a case fails.
void keepActualTranscript(const QString &name, const Transcript &actual)
{
    QDir dir(QCoreApplication::applicationDirPath());
    dir.mkpath(QStringLiteral("check-actual"));
    QFile file(dir.filePath(QStringLiteral("check-actual/") + name + QStringLiteral(".txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return;
    file.write((actual.log + QStringList { callsMarker } + actual.calls).join(QLatin1Char('\n')).toUtf8());
    file.write("\n");
    qInfo("actual transcript written to %s", qPrintable(file.fileName()));
}

QString stateName(int state)
{
    switch (state) {
    case NotDetected: return QStringLiteral("NotDetected");
    case NeedsRestore: return QStringLiteral("NeedsRestore");
    case Operational: return QStringLiteral("Operational");
    default: return QString::number(state);
    }
}

// The panel's record in the words of the expected one, which names only the
// fields that the path defines.
QString describeStatus(const DeviceStatus &status, const QString &expected)
{
    QStringList described { stateName(status.checkState) };
    const QStringList words = expected.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words.mid(1)) {
        const QString key = word.section(QLatin1Char('='), 0, 0);
        QString value;
        if (key == QLatin1String("serial"))
            value = QString::number(status.serial);
        else if (key == QLatin1String("type"))
            value = QString::number(status.deviceType);
        else if (key == QLatin1String("firmware"))
            value = versionString(status.deviceFirmware);
        else if (key == QLatin1String("target"))
            value = versionString(status.targetFirmware);
        else
            value = QStringLiteral("?");
        described << key + QLatin1Char('=') + value;
    }
    return described.join(QLatin1Char(' '));
}

QList<QWidget *> busyDialogs()
{
    QList<QWidget *> found;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (widget->inherits("CVProgressDialog"))
            found << widget;
    }
    return found;
}

bool busyDialogVisible()
{
    const QList<QWidget *> dialogs = busyDialogs();
    for (QWidget *dialog : dialogs) {
        if (dialog->isVisible())
            return true;
    }
    return false;
}

// Watches for modal dialogs while a workflow runs and answers the one that
// is expected; any other is written down and dismissed without ever ending
// the process. "KD740A".."KD740C" answer the model selector, "Yes", "No",
// "Escape" and "Enter" the downgrade question.
class ModalWatcher
{
public:
    ModalWatcher(PanelDriver &driver, const QString &answer)
        : m_driver(driver)
        , m_answer(answer)
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    std::function<void(QWidget *)> whileBusy;

    QString answered;
    QStringList unexpected;
    // The log after the introduction when the answered dialog came up.
    QStringList logWhenAsked;
    QStringList focusWhenAsked;
    bool busyExistedWhenAsked = false;
    bool busyVisibleWhenAsked = false;
    QString questionTitle;
    QString questionText;
    QMessageBox::StandardButtons questionButtons;
    QWidget *questionParent = nullptr;
    QWidget *selectorParent = nullptr;
    Qt::WindowFlags selectorFlags;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (modal->inherits("CVProgressDialog")) {
            if (whileBusy)
                whileBusy(modal);
            return;
        }
        const bool selector = modal->inherits("DeviceSelectorDialog");
        auto *question = qobject_cast<QMessageBox *>(modal);
        const bool answersSelector = m_answer.startsWith(QLatin1String("KD740"));
        if (!answered.isEmpty() || (selector && !answersSelector)
            || (question && (answersSelector || m_answer.isEmpty())) || (!selector && !question)) {
            unexpected << QString::fromLatin1(modal->metaObject()->className());
            dismiss(modal);
            return;
        }

        answered = m_answer;
        // What a reader was told of the focus until the question had it.
        if (PanelDriver::hearsAnnouncements() && QTest::qWaitFor([modal] {
                return modal->isActiveWindow() && QApplication::focusWidget()
                    && QApplication::focusWidget()->window() == modal;
            }))
            focusWhenAsked = PanelDriver::takeFocusChanges();
        logWhenAsked = m_driver.linesAfterIntroduction();
        busyExistedWhenAsked = !busyDialogs().isEmpty();
        busyVisibleWhenAsked = busyDialogVisible();
        if (question) {
            questionTitle = question->windowTitle();
            questionText = question->text();
            questionButtons = question->standardButtons();
            questionParent = question->parentWidget();
            if (m_answer == QLatin1String("Escape"))
                keyInWindow(question, Qt::Key_Escape);
            else if (m_answer == QLatin1String("Enter"))
                keyInWindow(question, Qt::Key_Return);
            else
                clickInWindow(qobject_cast<QPushButton *>(
                    question->button(m_answer == QLatin1String("Yes") ? QMessageBox::Yes : QMessageBox::No)));
        } else {
            selectorParent = modal->parentWidget();
            selectorFlags = modal->windowFlags();
            clickInWindow(findButton(modal, m_answer));
        }
    }

    static void dismiss(QWidget *modal)
    {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            clickInWindow(qobject_cast<QPushButton *>(box->button(QMessageBox::No)));
        } else if (QPushButton *model = findButton(modal, QStringLiteral("KD740A"))) {
            // Never Cancel: that ends the process.
            clickInWindow(model);
        } else {
            modal->hide();
        }
    }

    PanelDriver &m_driver;
    QString m_answer;
    QTimer m_timer;
};

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private slots:
    void detection_data();
    void detection();
    void busyDialogWhileWorkerRuns_data();
    void busyDialogWhileWorkerRuns();
    void selectorAnswers_data();
    void selectorAnswers();
    void keyboard_data();
    void keyboard();
};

// clang-format off
void TestCheck::detection_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("transcript");
    // An image taken away before the check, to fail the bootstrap's image check.
    QTest::addColumn<QString>("missingImage");

    // KD740C over the network: the serial comes from the list, the versions
    // from the single FX3 number.
    QTest::newRow("net KD740C version 5")
        << Instrument::netInstrument(5100, 5, 3) << "" << ""
        << "Operational serial=5100 type=2 firmware=5.5.3 target=5.5.3" << "net-version-5" << "";
    QTest::newRow("net KD740C version 6")
        << Instrument::netInstrument(5101, 6, 3) << "" << "Update"
        << "Operational serial=5101 type=2 firmware=0.0.0 target=5.5.3" << "net-version-6" << "";
    QTest::newRow("net KD740C version 0")
        << Instrument::netInstrument(5102, 0, 3) << "" << "Update"
        << "Operational serial=5102 type=2 firmware=0.0.0 target=5.5.3" << "net-version-0" << "";
    // A KD740C that does not say what it holds is not taken for one that needs
    // an update, or for one whose FPGA loaded.
    QTest::newRow("net KD740C version read fails")
        << Instrument::netInstrument(5103, 5, 3) + Instrument::fail("kdConfigNetGetFirmwareVersion") << "KD740C" << ""
        << "NotDetected type=2 target=5.5.3" << "net-version-read-fails" << "";
    QTest::newRow("net KD740C FPGA failed")
        << Instrument::netInstrument(5104, 5, 3, "fpga-failed") << "" << "Restore"
        << "NeedsRestore serial=5104 type=2 firmware=5.5.3 target=5.5.3" << "net-fpga-failed" << "";
    QTest::newRow("net KD740C FPGA status read fails")
        << Instrument::netInstrument(5105, 5, 3, "fpga-failed") + Instrument::fail("kdConfigNetGetFPGAStatus")
        << "KD740C" << "" << "NotDetected type=2 target=5.5.3" << "net-fpga-status-read-fails" << "";
    QTest::newRow("listed KD740C does not open, KD740B on USB")
        << Instrument::netInstrument(5106, 5, 3) + Instrument::usbInstrument(KD740B, 1240, 4, 5, 10)
            + Instrument::fail("kdConfigNetOpenDevice")
        << "" << "Update" << "Operational serial=1240 type=1 firmware=4.5.10 target=4.5.12"
        << "net-open-fails-usb-behind" << "";
    QTest::newRow("listed KD740C does not open, nothing else")
        << Instrument::netInstrument(5107, 5, 3) + Instrument::fail("kdConfigNetOpenDevice") << "KD740C" << ""
        << "NotDetected type=2 target=5.5.3" << "net-open-fails-alone" << "";

    // Opened normally: every outcome of the comparison.
    QTest::newRow("KD740B 4.5.10 needs update")
        << Instrument::usbInstrument(KD740B, 1234, 4, 5, 10) << "" << "Update"
        << "Operational serial=1234 type=1 firmware=4.5.10 target=4.5.12" << "usb-b-older-fpga" << "";
    QTest::newRow("KD740B 3.5.12 needs update")
        << Instrument::usbInstrument(KD740B, 1235, 3, 5, 12) << "" << "Update"
        << "Operational serial=1235 type=1 firmware=3.5.12 target=4.5.12" << "usb-b-older-boot" << "";
    QTest::newRow("KD740B 4.5.12 current")
        << Instrument::usbInstrument(KD740B, 1236, 4, 5, 12) << "" << ""
        << "Operational serial=1236 type=1 firmware=4.5.12 target=4.5.12" << "usb-b-current" << "";
    QTest::newRow("KD740B 4.5.13 downgrade Yes")
        << Instrument::usbInstrument(KD740B, 1237, 4, 5, 13) << "Yes" << "Update"
        << "Operational serial=1237 type=1 firmware=4.5.13 target=4.5.12" << "usb-b-newer-yes" << "";
    QTest::newRow("KD740B 4.5.13 downgrade No")
        << Instrument::usbInstrument(KD740B, 1237, 4, 5, 13) << "No" << ""
        << "Operational serial=1237 type=1 firmware=4.5.13 target=4.5.12" << "usb-b-newer-no" << "";
    QTest::newRow("KD740A 4.6.8 downgrade Yes")
        << Instrument::usbInstrument(KD740A, 2001, 4, 6, 8) << "Yes" << "Update"
        << "Operational serial=2001 type=0 firmware=4.6.8 target=4.5.9" << "usb-a-mixed-yes" << "";
    QTest::newRow("KD740A 4.6.8 downgrade No")
        << Instrument::usbInstrument(KD740A, 2001, 4, 6, 8) << "No" << ""
        << "Operational serial=2001 type=0 firmware=4.6.8 target=4.5.9" << "usb-a-mixed-no" << "";
    QTest::newRow("KD740A 4.6.8 downgrade Escape")
        << Instrument::usbInstrument(KD740A, 2001, 4, 6, 8) << "Escape" << ""
        << "Operational serial=2001 type=0 firmware=4.6.8 target=4.5.9" << "usb-a-mixed-no" << "";
    QTest::newRow("KD740A 4.6.8 downgrade Enter")
        << Instrument::usbInstrument(KD740A, 2001, 4, 6, 8) << "Enter" << ""
        << "Operational serial=2001 type=0 firmware=4.6.8 target=4.5.9" << "usb-a-mixed-no" << "";
    QTest::newRow("KD740A 4.5.9 current")
        << Instrument::usbInstrument(KD740A, 2002, 4, 5, 9) << "" << ""
        << "Operational serial=2002 type=0 firmware=4.5.9 target=4.5.9" << "usb-a-current" << "";

    // Model codes the catalogue does not know are kept and compared against 0.0.0.
    QTest::newRow("model 7 all zero")
        << Instrument::usbInstrument(7, 3001, 0, 0, 0) << "" << ""
        << "Operational serial=3001 type=7 firmware=0.0.0 target=0.0.0" << "model-7-zero" << "";
    QTest::newRow("model -1: no images, no question")
        << Instrument::usbInstrument(-1, 3002, 0, 0, 1) << "" << ""
        << "Operational serial=3002 type=-1 firmware=0.0.1 target=0.0.0" << "model-minus-1" << "";
    QTest::newRow("boot device model 9")
        << Instrument::usbInstrument(9, 3003, 4, 5, 12, "boot") << "" << ""
        << "NeedsRestore serial=3003 type=9 target=0.0.0" << "boot-model-9" << "";

    // Opened normally but a read fails: the bootstrap is offered all the same.
    QTest::newRow("version read fails")
        << Instrument::usbInstrument(KD740B, 1238, 4, 5, 10) + Instrument::fail("kdGetFirmwareVersion") << "KD740B"
        << "" << "NotDetected type=1 target=4.5.12" << "version-read-fails" << "";
    QTest::newRow("serial read fails")
        << Instrument::usbInstrument(KD740B, 1239, 4, 5, 10) + Instrument::fail("kdGetDeviceInfo") << "KD740A" << ""
        << "NotDetected type=0 target=4.5.9" << "serial-read-fails" << "";

    QTest::newRow("boot device KD740B")
        << Instrument::usbInstrument(KD740B, 4400, 4, 5, 12, "boot") << "" << "Restore"
        << "NeedsRestore serial=4400 type=1 target=4.5.12" << "boot-b" << "";
    // The model is asked for rather than guessed; the type is not read once
    // the serial read has failed.
    QTest::newRow("boot device reads fail")
        << Instrument::usbInstrument(KD740B, 4401, 4, 5, 12, "boot") + Instrument::fail("kdConfigUSBGetDeviceSerial")
            + Instrument::fail("kdConfigUSBGetDeviceType")
        << "KD740B" << "" << "NotDetected type=1 target=4.5.12" << "boot-reads-fail" << "";
    QTest::newRow("boot device type read fails")
        << Instrument::usbInstrument(KD740B, 4402, 4, 5, 12, "boot") + Instrument::fail("kdConfigUSBGetDeviceType")
        << "KD740B" << "" << "NotDetected type=1 target=4.5.12" << "boot-type-read-fails" << "";
    QTest::newRow("nothing connected")
        << "" << "KD740B" << "" << "NotDetected type=1 target=4.5.12" << "nothing" << "";

    // The bootstrap, after the user has named the model.
    QTest::newRow("bootstrap KD740A")
        << Instrument::usbInstrument(KD740A, 6001, 4, 5, 9, "silent") << "KD740A" << "Restore"
        << "NeedsRestore serial=6001 type=0 target=4.5.9" << "bootstrap-a" << "";
    QTest::newRow("bootstrap KD740B")
        << Instrument::usbInstrument(KD740B, 6002, Instrument::Erased, 5, 12, "silent") << "KD740B" << "Restore"
        << "NeedsRestore serial=6002 type=1 target=4.5.12" << "bootstrap-b" << "";
    QTest::newRow("bootstrap KD740C")
        << Instrument::netInstrument(6003, Instrument::Erased, 3, "silent") << "KD740C" << "Restore"
        << "NeedsRestore serial=6003 type=2 target=5.5.3" << "bootstrap-c" << "";
    QTest::newRow("bootstrap with the wrong model")
        << Instrument::usbInstrument(KD740B, 6004, 4, 5, 12, "silent") << "KD740A" << ""
        << "NotDetected type=0 target=4.5.9" << "bootstrap-wrong-model" << "";
    QTest::newRow("USB bootstrap fails")
        << Instrument::usbInstrument(KD740A, 6005, 4, 5, 9, "silent") + Instrument::fail("kdConfigUSBBootstrapDevice")
        << "KD740A" << "" << "NotDetected type=0 target=4.5.9" << "bootstrap-a-fails" << "";
    QTest::newRow("net bootstrap fails")
        << Instrument::netInstrument(6006, 5, 3, "silent") + Instrument::fail("kdConfigNetBootstrapDevice")
        << "KD740C" << "" << "NotDetected type=2 target=5.5.3" << "bootstrap-c-fails" << "";
    QTest::newRow("USB serial from flash fails")
        << Instrument::usbInstrument(KD740B, 6007, 4, 5, 12, "silent")
            + Instrument::fail("kdConfigUSBGetSerialFromFlash")
        << "KD740B" << "" << "NotDetected type=1 target=4.5.12" << "bootstrap-b-serial-fails" << "";
    // An unusable boot image stops the bootstrap before any call.
    QTest::newRow("bootstrap image missing")
        << Instrument::usbInstrument(KD740B, 6009, Instrument::Erased, 5, 12, "silent") << "KD740B" << ""
        << "NotDetected type=1 target=4.5.12" << "bootstrap-image-missing" << "kd740b_boot_4.img";
    QTest::newRow("net serial from flash fails")
        << Instrument::netInstrument(6008, 5, 3, "silent") + Instrument::fail("kdConfigNetGetSerialFromFlash")
        << "KD740C" << "" << "NotDetected type=2 target=5.5.3" << "bootstrap-c-serial-fails" << "";
}
// clang-format on

void TestCheck::detection()
{
    QFETCH(QString, description);
    QFETCH(QString, answer);
    QFETCH(QString, enabled);
    QFETCH(QString, status);
    QFETCH(QString, transcript);
    QFETCH(QString, missingImage);

    const Transcript expected = readTranscript(transcript);

    SimulatedInstrument instrument;
    instrument.setDescription(description);
    if (!missingImage.isEmpty())
        QVERIFY(QFile::remove(instrument.imagePath(missingImage)));
    PanelDriver driver;
    instrument.clearTrace();

    ModalWatcher watcher(driver, answer);
    driver.click(checkButton);

    const Transcript actual { driver.linesAfterIntroduction(), instrument.calls() };
    if (actual.log != expected.log || actual.calls != expected.calls)
        keepActualTranscript(transcript, actual);
    QVERIFY2(!expected.log.isEmpty(), qPrintable("no reference transcript " + transcript));

    QVERIFY2(watcher.unexpected.isEmpty(), qPrintable("unexpected dialogs: " + watcher.unexpected.join(", ")));
    QCOMPARE(watcher.answered, answer);
    QCOMPARE(actual.log, expected.log);
    // Only a refusal's problem is coloured, red.
    for (int line = PanelDriver::introductionLines; line < driver.lines().size(); ++line)
        QVERIFY2(!driver.lineColor(line).isValid()
                     || (driver.lineColor(line) == driver.statusColor(false)
                         && driver.lines().value(line + 1) == nothingTouched),
                 qPrintable(QString("line %1 is coloured").arg(line)));
    QCOMPARE(actual.calls, expected.calls);

    QVERIFY(!driver.button(checkButton)->isEnabled());
    QCOMPARE(driver.button(updateButton)->isEnabled(), enabled == QLatin1String("Update"));
    QCOMPARE(driver.button(restoreButton)->isEnabled(), enabled == QLatin1String("Restore"));
    // The next step has the focus; the outcome, the log's last lines, was said.
    if (!enabled.isEmpty())
        QCOMPARE(driver.panel()->window()->focusWidget(), driver.button("  " + enabled + "  "));
    // Every line of the check was said to a screen reader, in its order.
    QStringList said = driver.takeAnnouncements().filter(QRegularExpression("^(?!Record: )")), log = actual.log;
    log.removeAll(recordLine);
    log.removeAll(QString());
    if (PanelDriver::hearsAnnouncements())
        QCOMPARE(said, log);

    const DeviceStatus &record = driver.panel()->deviceStatus;
    QCOMPARE(describeStatus(record, status), status);
    QCOMPARE(record.targetFirmware.deviceType, record.deviceType);
    QCOMPARE(record.deviceFirmware.deviceType, record.deviceType);

    if (!answer.isEmpty() && PanelDriver::hearsAnnouncements()) {
        // A reader announces the question once, as its first focus outside
        // the main window, on its default button.
        const QStringList outside = watcher.focusWhenAsked.filter(QRegularExpression("^(?!KD740 Firmware Updater: )"));
        QCOMPARE(outside, QStringList(answer.startsWith("KD740") ? "Device Select: Cancel" : "Warning: No"));
    }
    if (!answer.isEmpty()) {
        // The worker has finished before any question: the busy dialog is
        // gone, from a screen reader's view too, and every line it wrote is
        // already in the log.
        QVERIFY(!watcher.busyExistedWhenAsked);
        QVERIFY(!watcher.busyVisibleWhenAsked);
        QCOMPARE(watcher.logWhenAsked, expected.log.mid(0, watcher.logWhenAsked.size()));
        const QString lastWhenAsked = watcher.logWhenAsked.value(watcher.logWhenAsked.size() - 1);
        if (answer.startsWith(QLatin1String("KD740"))) {
            QCOMPARE(lastWhenAsked, QStringLiteral("Looking to bootstrap KD740."));
        } else {
            QVERIFY2(lastWhenAsked.startsWith(QLatin1String("Serial ")), qPrintable(lastWhenAsked));
            QCOMPARE(watcher.questionTitle, QStringLiteral("Warning"));
            QCOMPARE(watcher.questionText, downgradeText);
            QCOMPARE(watcher.questionButtons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(watcher.questionParent, static_cast<QWidget *>(driver.panel()));
        }
    }
    // Worker and busy dialog die with the slot.
    QVERIFY(busyDialogs().isEmpty());
}

// clang-format off
void TestCheck::busyDialogWhileWorkerRuns_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("workerLine");

    QTest::newRow("selector follows")
        << QString() << "KD740A" << "Failed to open KD740.";
    QTest::newRow("question follows") << Instrument::usbInstrument(KD740B, 1237, 4, 5, 13) << "No" << QString();
    QTest::newRow("update offered") << Instrument::usbInstrument(KD740B, 1234, 4, 5, 10) << QString() << QString();
    QTest::newRow("USB bootstrap")
        << Instrument::usbInstrument(KD740B, 1238, 4, 5, 12, "silent") << "KD740B" << "Failed to open KD740.";
    QTest::newRow("net bootstrap")
        << Instrument::netInstrument(1239, 5, 3, "silent") << "KD740C" << "Failed to open KD740.";
}
// clang-format on

void TestCheck::busyDialogWhileWorkerRuns()
{
    QFETCH(QString, description);
    QFETCH(QString, answer);
    QFETCH(QString, workerLine);

    // The harness's Escape and close control do dismiss an ordinary
    // progress dialog, so their having no effect below means something.
    {
        QProgressDialog ordinary(busyLabel, QString(), 0, 0);
        ordinary.setModal(true);
        ordinary.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ordinary));
        keyInWindow(&ordinary, Qt::Key_Escape);
        QVERIFY(!ordinary.isVisible());
        ordinary.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ordinary));
        closeInWindow(&ordinary);
        QVERIFY(!ordinary.isVisible());
    }

    SimulatedInstrument instrument;
    instrument.setDescription(description);
    // Each device call now takes about 0.2 s, the device list 0.4 s.
    qputenv("KDSIM_SCALE", "0.4");
    PanelDriver driver;
    instrument.clearTrace();

    struct Seen
    {
        bool probed = false;
        QString title;
        QString label;
        int buttons = -1;
        int minimum = -1;
        int maximum = -1;
        bool modal = false;
        Qt::WindowModality modality = Qt::NonModal;
        QWidget *parent = nullptr;
        Qt::WindowFlags flags;
        bool fixedSize = false;
        bool labelFits = false;
        bool barShown = false;
        bool visibleAfterEscape = false;
        bool visibleAfterClose = false;
        QStringList clicked;
        bool workerLineWhileBusy = false;
    } seen;

    QList<QPushButton *> panelButtons;
    for (const QString &text : { checkButton, updateButton, restoreButton })
        panelButtons << driver.button(text);

    // Once the model is named, the bootstrap runs behind the busy dialog,
    // and the window must keep handling events meanwhile.
    QElapsedTimer sinceBootstrapTick;
    qint64 longestBootstrapGapMs = -1;

    ModalWatcher watcher(driver, answer);
    watcher.whileBusy = [&](QWidget *modal) {
        if (!watcher.answered.isEmpty()) {
            if (sinceBootstrapTick.isValid())
                longestBootstrapGapMs = std::max(longestBootstrapGapMs, sinceBootstrapTick.elapsed());
            sinceBootstrapTick.start();
        }
        if (!workerLine.isEmpty() && driver.linesAfterIntroduction().contains(workerLine))
            seen.workerLineWhileBusy = true;
        if (seen.probed)
            return;
        seen.probed = true;
        auto *dialog = qobject_cast<QProgressDialog *>(modal);
        if (!dialog)
            return;
        seen.title = dialog->windowTitle();
        seen.label = dialog->labelText();
        seen.buttons = dialog->findChildren<QPushButton *>().size();
        seen.minimum = dialog->minimum();
        seen.maximum = dialog->maximum();
        seen.modal = dialog->isModal();
        seen.modality = dialog->windowModality();
        seen.parent = dialog->parentWidget();
        seen.flags = dialog->windowFlags();
        seen.fixedSize = dialog->minimumSize() == dialog->size() && dialog->maximumSize() == dialog->size();
        if (auto *label = dialog->findChild<QLabel *>()) {
            seen.labelFits = label->isVisible() && dialog->rect().contains(label->geometry())
                && label->height() >= label->sizeHint().height();
        }
        if (auto *bar = dialog->findChild<QProgressBar *>())
            seen.barShown = bar->isVisible() && dialog->rect().contains(bar->geometry());

        keyInWindow(dialog, Qt::Key_Escape);
        seen.visibleAfterEscape = dialog->isVisible();
        closeInWindow(dialog);
        seen.visibleAfterClose = dialog->isVisible();

        // Enabled for the moment, so that only modality can stop the click.
        for (QPushButton *button : qAsConst(panelButtons)) {
            const bool wasEnabled = button->isEnabled();
            button->setEnabled(true);
            QSignalSpy clicks(button, &QPushButton::clicked);
            clickInWindow(button);
            if (!clicks.isEmpty())
                seen.clicked << button->text();
            button->setEnabled(wasEnabled);
        }
    };

    driver.click(checkButton);

    QVERIFY2(seen.probed, "the busy dialog was never the active modal window");
    QCOMPARE(seen.title, QStringLiteral("Please Wait"));
    // Under the workflow's lines: what it does, and for how long.
    QCOMPARE(seen.label.section(QLatin1Char('\n'), 0, 3), busyLabel + QStringLiteral("\nReading the KD740"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d:\\d\\d elapsed$"))
                 .match(seen.label.section(QLatin1Char('\n'), 4))
                 .hasMatch(),
             qPrintable(seen.label));
    QCOMPARE(seen.buttons, 0);
    QCOMPARE(seen.minimum, 0);
    QCOMPARE(seen.maximum, 0);
    QVERIFY(seen.modal);
    QCOMPARE(seen.modality, Qt::ApplicationModal);
    // Over the main window, not beside it: no task bar entry, no title bar
    // button but the title.
    QWidget *mainWindow = driver.panel()->window();
    const Qt::WindowFlags buttons = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
        | Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint;
    QCOMPARE(seen.parent, mainWindow);
    QCOMPARE(seen.flags & (buttons | Qt::CustomizeWindowHint), Qt::CustomizeWindowHint);
    QVERIFY(seen.fixedSize);
    QVERIFY2(seen.labelFits, "the label's lines do not all fit in the busy dialog");
    QVERIFY(seen.barShown);
    QVERIFY2(seen.visibleAfterEscape, "Escape dismissed the busy dialog");
    QVERIFY2(seen.visibleAfterClose, "the close control dismissed the busy dialog");
    QVERIFY2(seen.clicked.isEmpty(), qPrintable("clicked behind the busy dialog: " + seen.clicked.join(", ")));
    if (!workerLine.isEmpty())
        QVERIFY2(seen.workerLineWhileBusy, "the worker's line did not appear while it was running");

    QVERIFY(watcher.unexpected.isEmpty());
    QCOMPARE(watcher.answered, answer);
    if (!answer.isEmpty()) {
        QVERIFY(!watcher.busyExistedWhenAsked);
        QVERIFY(!watcher.busyVisibleWhenAsked);
    }
    if (answer.startsWith(QLatin1String("KD740"))) {
        QCOMPARE(watcher.selectorParent, mainWindow);
        QCOMPARE(watcher.selectorFlags & buttons, Qt::WindowCloseButtonHint);
        QVERIFY2(sinceBootstrapTick.isValid(), "the busy dialog was not up while the bootstrap ran");
        QVERIFY2(longestBootstrapGapMs < 500, qPrintable(QString("no events for %1 ms").arg(longestBootstrapGapMs)));
    }
    // One workflow only, despite the clicks.
    QCOMPARE(driver.linesAfterIntroduction().count(QStringLiteral("Checking Firmware Versions...")), 1);
    QCOMPARE(instrument.calls().count(QStringLiteral("kdConfigNetGetDeviceList(1)")), 1);
    QVERIFY(!driver.button(checkButton)->isEnabled());
    QVERIFY(busyDialogs().isEmpty());
}

// clang-format off
void TestCheck::selectorAnswers_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("selectedType");
    QTest::addColumn<bool>("cancelled");

    QTest::newRow("KD740A") << "KD740A" << 0 << false;
    QTest::newRow("KD740B") << "KD740B" << 1 << false;
    QTest::newRow("KD740C") << "KD740C" << 2 << false;
    QTest::newRow("Cancel") << "Cancel" << 0 << true;
    // Leaving the dialog without an answer must not pick a model.
    QTest::newRow("Escape") << "Escape" << 0 << true;
    QTest::newRow("close control") << "close" << 0 << true;
    QTest::newRow("Enter on KD740B") << "Enter" << 1 << false;
    QTest::newRow("Space on KD740C") << "Space" << 2 << false;
    // The focus starts on Cancel, so a stray Enter or Space picks no model.
    QTest::newRow("Enter at once") << "Enter at once" << 0 << true;
    QTest::newRow("Space at once") << "Space at once" << 0 << true;
}
// clang-format on

void TestCheck::selectorAnswers()
{
    QFETCH(QString, action);
    QFETCH(int, selectedType);
    QFETCH(bool, cancelled);

    DeviceSelectorDialog selector(nullptr);
    QStringList order;
    QString title;
    onNextModal("DeviceSelectorDialog", [&](QWidget *modal) {
        title = modal->windowTitle();
        QList<QPushButton *> buttons = modal->findChildren<QPushButton *>();
        std::sort(buttons.begin(), buttons.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
        for (QPushButton *button : qAsConst(buttons))
            order << button->text();
        if (action == QLatin1String("Escape")) {
            keyInWindow(modal, Qt::Key_Escape);
        } else if (action == QLatin1String("close")) {
            closeInWindow(modal);
        } else if (action == QLatin1String("Enter")) {
            findButton(modal, QStringLiteral("KD740B"))->setFocus();
            keyInWindow(modal, Qt::Key_Return);
        } else if (action == QLatin1String("Space")) {
            findButton(modal, QStringLiteral("KD740C"))->setFocus();
            keyInWindow(modal, Qt::Key_Space);
        } else if (action.endsWith(QLatin1String(" at once"))) {
            keyInWindow(modal, action.startsWith(QLatin1String("Enter")) ? Qt::Key_Return : Qt::Key_Space);
        } else {
            clickInWindow(findButton(modal, action));
        }
    });
    selector.exec();

    QCOMPARE(title, QStringLiteral("Device Select"));
    QCOMPARE(order, QStringList({ "KD740A", "KD740B", "KD740C", "Cancel" }));
    QVERIFY(!selector.isVisible());
    QCOMPARE(selector.selectedType, selectedType);
    QCOMPARE(selector.cancelled, cancelled);
}

// clang-format off
void TestCheck::keyboard_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<bool>("checkFirst");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QKeySequence>("keys");
    // The workflow the keys start, none when empty.
    QTest::addColumn<QString>("title");

    const QString update = SimulatedInstrument::usbInstrument(1, 1234, 4, 5, 10);
    const QString restore = SimulatedInstrument::usbInstrument(1, 1234, 4, SimulatedInstrument::Erased, 12, "boot");
    const QKeySequence enter(Qt::Key_Return);
    QTest::newRow("Alt+C") << update << false << "" << QKeySequence("Alt+C") << checkTitle();
    QTest::newRow("Enter on Check Versions") << update << false << checkButton << enter << checkTitle();
    QTest::newRow("Alt+U") << update << true << "" << QKeySequence("Alt+U") << updateTitle();
    QTest::newRow("Enter on Update") << update << true << updateButton << enter << updateTitle();
    QTest::newRow("Alt+R") << restore << true << "" << QKeySequence("Alt+R") << restoreTitle();
    QTest::newRow("Enter on Restore") << restore << true << restoreButton << enter << restoreTitle();
    QTest::newRow("Alt+U while disabled") << restore << true << "" << QKeySequence("Alt+U") << "";
    QTest::newRow("Alt+C after the check") << update << true << "" << QKeySequence("Alt+C") << "";
}
// clang-format on

void TestCheck::keyboard()
{
    QFETCH(QString, instrument);
    QFETCH(bool, checkFirst);
    QFETCH(QString, focus);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, title);

    SimulatedInstrument sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    if (checkFirst)
        driver.click(checkButton);
    QWidget *window = driver.panel()->window();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    if (!focus.isEmpty())
        driver.button(focus)->setFocus();
    const int before = driver.lines().size();
    QTest::keySequence(window->windowHandle(), keys);
    // Delivered at once: a shortcut that starts anything has pressed its button by now.
    if (title.isEmpty()) {
        for (const QString &text : { checkButton, updateButton, restoreButton })
            QVERIFY(!driver.button(text)->isDown());
    } else {
        QTRY_VERIFY(driver.lines().mid(before).contains(title));
    }
    QCOMPARE(driver.lines().size() > before, !title.isEmpty());
}

QTEST_MAIN(TestCheck)
#include "tst_check.moc"
