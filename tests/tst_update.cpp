// The firmware update as the window shows it, driven through the real window
// against the simulated instrument: its end, the busy dialog, the log.

#include "FileAccess.h"
#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "session/ProgressText.h"
#include "ui/Updater.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

using Sim = SimulatedInstrument;

namespace {

// The instruments most cases start from.
const QString kdA = Sim::usbInstrument(0, 2001, 3, 4, 8); // every part older than shipped
const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10); // only the FPGA older
const QString kdC = Sim::netInstrument(5678, 4, 2); // reported as 4.4.2

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void endShownInWindow_data();
    void endShownInWindow();
    void outcomeInView_data();
    void outcomeInView();
    void busyDialogShowsProgress_data();
    void busyDialogShowsProgress();
    void logCopiedAfterOutcome_data();
    void logCopiedAfterOutcome();
    void logSaved_data();
    void logSaved();
};

// How the window ends an update, whichever way it ends: the outcome last in
// the log and said to a screen reader line by line, and nothing more to
// click. What each run writes and calls is the engine's (tst_session).
void TestUpdate::endShownInWindow_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("outcome");

    QTest::newRow("written") << kdB << "" << successBlockFor("KD740B");
    // The instrument stays held: nothing answers within the wait.
    QTest::newRow("close fails") << kdB << Sim::fail("kdConfigUSBCloseDevice")
                                 << QStringList { "[amber] Firmware written; not confirmed.",
                                                  "The KD740B did not answer after the write.", checkAgain, recordLine,
                                                  "You may now close the software." };
    QTest::newRow("USB FPGA write fails")
        << kdA << Sim::fail("kdConfigUSBWriteFPGAProgram")
        << failureBlockWith({ "Written in this run: boot Fx3, run Fx3.", "Erased or incomplete: FPGA.", mayNotWork,
                              "The KD740A answers only in its boot mode after the write." });
    QTest::newRow("net open fails") << kdC << Sim::fail("kdConfigNetOpenDevice")
                                    << failureBlockWith({ nothingTouched });
}

void TestUpdate::endShownInWindow()
{
    QFETCH(QString, instrument);
    QFETCH(QString, faults);
    QFETCH(QStringList, outcome);
    verifyEndShown(instrument, updateButton, QString(), faults, outcome);
}

void TestUpdate::outcomeInView_data()
{
    QTest::addColumn<QString>("narrowed");
    QTest::newRow("started scrolled to the top") << "";
    QTest::newRow("window narrowed while running") << "while running";
    QTest::newRow("window narrowed afterwards") << "afterwards";
}

// The outcome is in view and reads clearly, although the panel is disabled
// and its log can no longer be scrolled.
void TestUpdate::outcomeInView()
{
    QFETCH(QString, narrowed);
    Sim sim;
    sim.setDescription(kdB);
    PanelDriver driver;
    QWidget *window = driver.panel()->window();
    window->resize(800, 250);
    checkAsUser(driver, updateButton);
    QScrollBar *scroll = driver.log()->verticalScrollBar();
    scroll->setValue(0);
    qputenv("KDSIM_SCALE", "0.002");
    bool atEndWhileBusy = false;
    int busyWidth = 0;
    onNextModal("CVProgressDialog", [&](QWidget *busy) {
        atEndWhileBusy = scroll->value() == scroll->maximum();
        busyWidth = busy->width();
        if (narrowed == "while running")
            window->resize(400, 250);
    });
    driver.click(updateButton);
    if (narrowed == "afterwards")
        window->resize(400, 250);

    QVERIFY(atEndWhileBusy);
    QVERIFY2(busyWidth <= 800, qPrintable(QString::number(busyWidth)));
    QVERIFY(scroll->maximum() > 0);
    QCOMPARE(scroll->value(), scroll->maximum());
    // The last line fills the log's bottom strip: its darkest pixel against
    // the lightest, a ratio in the manner of WCAG's contrast.
    const QImage shown = driver.log()->viewport()->grab().toImage();
    int darkest = 255, lightest = 0;
    for (int y = shown.height() - 20; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            darkest = qMin(darkest, qGray(shown.pixel(x, y)));
            lightest = qMax(lightest, qGray(shown.pixel(x, y)));
        }
    }
    QVERIFY2((lightest + 13) / (darkest + 13.0) > 4.5, qPrintable(QString("%1 on %2").arg(darkest).arg(lightest)));
}

void TestUpdate::busyDialogShowsProgress_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("fpgaStep");
    QTest::addColumn<bool>("counts");

    QTest::newRow("library counts") << kdA << "Step 3 of 3: writing the FPGA program" << true;
    QTest::newRow("library's value never moves") << kdB + "progress still\n"
                                                 << "Step 1 of 1: writing the FPGA program" << false;
}

// A slow FPGA write on a clock 300 times as fast: what the two lines under
// the label say, and the bar, as the busy dialog shows them.
void TestUpdate::busyDialogShowsProgress()
{
    QFETCH(QString, instrument);
    QFETCH(QString, fpgaStep);
    QFETCH(bool, counts);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    if (QTest::currentTestFailed())
        return;
    // The FPGA's clear and write take 3.6 s, that is 18 minutes on the clock.
    qputenv("KDSIM_SCALE", "0.01");
    driver.panel()->findChild<RunSession *>()->progressClock().setRate(300);

    QStringList stepLines, elapsedLines;
    bool barFollowedPercent = true, barAlwaysBusy = true, barNamedByStep = true;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto *busy = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (!busy)
            return;
        const QStringList label = busy->labelText().split(QLatin1Char('\n'));
        if (stepLines.isEmpty() || stepLines.last() != label.value(4))
            stepLines << label.value(4);
        if (elapsedLines.isEmpty() || elapsedLines.last() != label.value(5))
            elapsedLines << label.value(5);
        const QRegularExpressionMatch percent = QRegularExpression(" \\((\\d+) %\\)$").match(label.value(4));
        barAlwaysBusy = barAlwaysBusy && busy->maximum() == 0;
        // A reader finds the step and its value on the bar, the time taken
        // as its description.
        QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(busy->findChild<QProgressBar *>());
        barNamedByStep = barNamedByStep && bar->role() == QAccessible::ProgressBar
            && label.value(4).startsWith(bar->text(QAccessible::Name))
            && bar->text(QAccessible::Description).contains(" elapsed")
            && bar->valueInterface()->currentValue().toInt() == busy->findChild<QProgressBar *>()->value();
        if (percent.hasMatch())
            barFollowedPercent = barFollowedPercent && busy->maximum() == 100
                && busy->value() == percent.captured(1).toInt();
    });
    poll.start(20);
    driver.click(updateButton);
    poll.stop();

    const QString lines = stepLines.join(" | ") + " || " + elapsedLines.join(" | ");
    // The clear is told as such, then the write; neither goes back.
    const auto first = [&](const QString &step) {
        return stepLines.indexOf(QRegularExpression("^" + QRegularExpression::escape(step) + "( \\(.*)?"));
    };
    const int erasing = first(QString(fpgaStep).replace("writing", "erasing"));
    const int writing = first(fpgaStep);
    QVERIFY2(erasing >= 0 && writing > erasing, qPrintable(lines));
    QVERIFY2(elapsedLines.contains("0:00 elapsed, usually up to 6 minutes"), qPrintable(lines));
    QVERIFY2(!elapsedLines
                  .filter(QRegularExpression("^\\d+:\\d\\d elapsed, longer than usual. "
                                             "Still writing: do not unplug the KD740.$"))
                  .isEmpty(),
             qPrintable(lines));
    const QRegularExpression withPercent("^" + QRegularExpression::escape(fpgaStep) + " \\((\\d|[1-9]\\d|100) %\\)$");
    QVERIFY2(stepLines.filter(withPercent).isEmpty() != counts, qPrintable(lines));
    QVERIFY2(stepLines.filter(" %)").isEmpty() != counts, qPrintable(lines));
    QVERIFY(barFollowedPercent);
    QCOMPARE(barAlwaysBusy, !counts);
    QVERIFY(barNamedByStep);
    // Each step is said once, and once that it is late; the seconds never.
    QStringList said = driver.takeAnnouncements().filter(QRegularExpression("^Step|elapsed"));
    const int steps = fpgaStep.mid(5, 1).toInt(), late = said.filter(" elapsed, longer than usual. ").size();
    if (PanelDriver::hearsAnnouncements()) {
        QCOMPARE(said.filter(fpgaStep), QStringList(fpgaStep));
        for (int step = 1; step <= steps; ++step)
            QVERIFY(!said.filter(QRegularExpression(QString("^Step %1 of %2: ").arg(step).arg(steps))).isEmpty());
        QVERIFY(late >= 1 && late <= steps && said.filter(" elapsed").size() == late);
        QCOMPARE(said.removeDuplicates(), 0);
    }
}

// clang-format off
void TestUpdate::logCopiedAfterOutcome_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("copied"); // empty: the whole log
    QTest::newRow("Ctrl+A") << "Ctrl+A" << QString();
    QTest::newRow("Shift+Home on the last line") << "Shift+Home" << "You may now close the software.";
    QTest::newRow("double click on a word") << "double click" << "close";
}
// clang-format on

// Once the update is over the buttons take no more clicks, but the log is
// still read, selected and copied.
void TestUpdate::logCopiedAfterOutcome()
{
    QFETCH(QString, selection);
    QFETCH(QString, copied);
    Sim sim;
    sim.setDescription(kdB);
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    driver.click(updateButton);

    QTextEdit *log = driver.log();
    QTextCursor onWord(log->document()->lastBlock());
    onWord.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, onWord.block().text().indexOf("close") + 2);
    const QPoint at = log->cursorRect(onWord).center();
    QTest::mouseClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (selection == QLatin1String("Ctrl+A")) {
        QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    } else if (selection == QLatin1String("Shift+Home")) {
        QTest::keyClick(log, Qt::Key_End);
        QTest::keyClick(log, Qt::Key_Home, Qt::ShiftModifier);
    } else {
        QTest::mouseDClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    QApplication::clipboard()->clear();
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), copied.isEmpty() ? log->toPlainText() : copied);
}

// The log's lines as the window shows them, each of the run after its time
// since the run began, as its record has them, the run headed by its date;
// the suggested name has the run's date, which is the record's.
static void verifySavedWithTimes(const QStringList &saved, const QStringList &log, const QString &suggested)
{
    const int intro = PanelDriver::introductionLines;
    QCOMPARE(saved.mid(0, intro), log.mid(0, intro));
    QCOMPARE(saved.size(), log.size() + 1);
    const QDateTime began = QDateTime::fromString(saved[intro].section(' ', 1).left(19), Qt::ISODate);
    QVERIFY2(began.isValid(), qPrintable(saved[intro]));
    QCOMPARE(QFileInfo(suggested).fileName().mid(10, 15), began.toString("yyyyMMdd-HHmmss"));
    for (int line = intro; line < log.size(); ++line) {
        const QString text = log[line].isEmpty() ? "$" : ' ' + QRegularExpression::escape(log[line]) + '$';
        QVERIFY2(QRegularExpression("^\\+\\d+:\\d\\d\\.\\d{3}" + text).match(saved[line + 1]).hasMatch(),
                 qPrintable(saved[line + 1]));
    }
    const QString record = log.filter(QRegularExpression("^Record: ")).value(0);
    const QDateTime recordBegan = QDateTime::fromString(QFileInfo(record).fileName().left(15), "yyyyMMdd-HHmmss");
    QVERIFY2(qAbs(began.secsTo(recordBegan)) <= 1, qPrintable(record));
}

// clang-format off
void TestUpdate::logSaved_data()
{
    QTest::addColumn<QString>("how"); // "Ctrl+S" or "menu"
    QTest::addColumn<QString>("when"); // "check", "outcome" or "running"
    QTest::addColumn<QString>("file"); // in a scratch folder; "fifo", "device": such a thing in a file's place
    QTest::newRow("Ctrl+S after the update") << "Ctrl+S" << "outcome" << "log.txt";
    QTest::newRow("menu after the check, missing folder") << "menu" << "check" << "missing/log.txt";
    QTest::newRow("not while the update runs") << "menu" << "running" << "log.txt";
    QTest::newRow("not over a FIFO") << "menu" << "check" << "fifo";
    QTest::newRow("not over a device") << "menu" << "check" << "device";
}
// clang-format on

void TestUpdate::logSaved()
{
    QFETCH(QString, how);
    QFETCH(QString, when);
    QFETCH(QString, file);
    Sim sim;
    sim.setDescription(kdB);
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    driver.addLine(QStringLiteral("Gr\u00fc\u00dfe \u2713")); // not Latin-1
    const QTemporaryDir scratch;
    const bool special = !file.contains('.');
    const QString path = scratch.filePath(special ? "log.txt" : file);
    if (special) {
        const SpecialFile kind = file == QLatin1String("fifo") ? SpecialFile::Fifo : SpecialFile::Device;
        if (!missingSpecialFile(kind).isEmpty())
            QSKIP(qPrintable(missingSpecialFile(kind)));
        QVERIFY(QFile(path).open(QIODevice::WriteOnly) && replaceWithSpecialFile(path, kind));
    }
    const bool running = when == QLatin1String("running");
    const bool intoMissing = file.contains('/') || special;

    QString suggested, problem;
    if (!running) {
        onNextModal("QFileDialog", [&](QWidget *dialog) {
            suggested = static_cast<QFileDialog *>(dialog)->selectedFiles().value(0);
            // Typed in whole, as a user may: a missing folder is not looked for.
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog *>(dialog)->accept();
        });
    }
    const auto takeProblem = [&](QWidget *box) {
        problem = static_cast<QMessageBox *>(box)->text();
        static_cast<QDialog *>(box)->accept();
    };
    if (special) {
        // The file dialog asks first whether to replace what is there.
        onNextModal("QMessageBox", [&](QWidget *box) {
            onNextModal("QMessageBox", takeProblem);
            static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
        });
    } else if (intoMissing) {
        onNextModal("QMessageBox", takeProblem);
    }
    bool offered = false;
    const auto save = [&] {
        QWidget *window = driver.panel()->window();
        if (how == QLatin1String("Ctrl+S")) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window->windowHandle(), Qt::Key_S, Qt::ControlModifier);
            offered = true;
            return;
        }
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5));
        QApplication::sendEvent(driver.log()->viewport(), &event);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *action = menu->actions().constLast();
        QCOMPARE(action->text(), QStringLiteral("Save Log\u2026"));
        offered = action->isEnabled();
        menu->close();
        action->trigger();
    };
    if (running)
        onNextModal("CVProgressDialog", [&](QWidget *) { save(); });
    if (when != QLatin1String("check"))
        driver.click(updateButton);
    if (!running)
        save();
    // The dialogs are opened, not executed: their answers come later.
    if (!running)
        QTRY_VERIFY(!suggested.isEmpty() && (!intoMissing || !problem.isEmpty()));

    QCOMPARE(offered, !running);
    QCOMPARE(QFileInfo(path).isFile(), !running && !intoMissing);
    QCOMPARE(QFileInfo(path).exists(), !running && (!intoMissing || special));
    if (running)
        return;
    QVERIFY2(QRegularExpression("/kd740-log-\\d{8}-\\d{6}-KD740B-1234\\.txt$").match(suggested).hasMatch(),
             qPrintable(suggested));
    // Never the working folder: the documents folder, else the home folder.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QCOMPARE(QFileInfo(suggested).absolutePath(), QFileInfo(documents).isDir() ? documents : QDir::homePath());
    if (special)
        QVERIFY2(problem.endsWith("It is not a regular file, and only a regular file is replaced."),
                 qPrintable(problem));
    if (intoMissing)
        QVERIFY2(problem.startsWith("The log could not be saved to " + QDir::toNativeSeparators(path)),
                 qPrintable(problem));
    else
        verifySavedWithTimes(readLines(path), driver.lines(), suggested);
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
