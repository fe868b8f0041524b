#include "PanelDriver.h"

#include "app/MainWindow.h"
#include "device/kd_api.h"
#include "ui/DeviceSelectorDialog.h"
#include "ui/StatusColors.h"
#include "ui/Updater.h"

#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

class TestPanel : public QObject
{
    Q_OBJECT

private slots:
    void mainWindow();
    void introduction();
    void statusLineKeepsColourInForce_data();
    void statusLineKeepsColourInForce();
    void clickIntoLogKeepsColour();
    void markupIsWrittenAsText_data();
    void markupIsWrittenAsText();
    void emptyLineAddsParagraph();
    void replaceLastLine_data();
    void replaceLastLine();
    void replaceLastLineOfWrappedParagraph();
    void statusColoursReadable_data();
    void statusColoursReadable();
    void introductionReadableAtMinimumSize();
    void focusShows_data();
    void focusShows();
};

void TestPanel::mainWindow()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("KD740 Firmware Updater"));
    QCOMPARE(window.size(), QSize(800, 400));
    QVERIFY(qobject_cast<Updater *>(window.centralWidget()));
    QVERIFY(!window.parentWidget());
}

void TestPanel::introduction()
{
    PanelDriver driver;
    const QStringList expected = {
        "KD740 firmware updater",
        "Using KD API version " + QString::fromUtf8(kdGetAPIVersion()),
        "",
        "Please read below before continuing.",
        "",
        "Updates KD740A to firmware version 4.5.9",
        "Updates KD740B to firmware version 4.5.12",
        "Updates KD740C to firmware version 5.5.3",
        "",
        "Ensure only one KD740 is connected to the PC.",
        "Connect KD740A and KD740B devices over USB 3.0 and connect KD740C devices over USB 2.0.",
        "Do NOT disconnect the KD740 at any time during the update.",
        "Disconnecting the KD740 during an update will leave your device in an unoperable state.",
    };
    QCOMPARE(driver.lines(), expected);
    for (int line = 0; line < expected.size(); ++line)
        QCOMPARE(driver.lineColor(line), line == 11 ? driver.statusColor(false) : QColor());

    QVERIFY(driver.log()->isReadOnly());
    // As a screen reader finds them: the buttons' names without their blanks.
    for (const auto &[widget, role, name] :
         { std::tuple<QWidget *, QAccessible::Role, QString> { driver.log(), QAccessible::EditableText, "Log" },
           { driver.button(checkButton), QAccessible::Button, "Check Versions" },
           { driver.button(updateButton), QAccessible::Button, "Update" },
           { driver.button(restoreButton), QAccessible::Button, "Restore" } }) {
        QCOMPARE(QAccessible::queryAccessibleInterface(widget)->role(), role);
        QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
    }
    QVERIFY(driver.button(checkButton)->isEnabled());
    QVERIFY(!driver.button(updateButton)->isEnabled());
    QVERIFY(!driver.button(restoreButton)->isEnabled());
}

// clang-format off
void TestPanel::statusLineKeepsColourInForce_data()
{
    QTest::addColumn<QList<bool>>("earlier");
    QTest::addColumn<bool>("success");

    QTest::newRow("success after default") << QList<bool>() << true;
    QTest::newRow("failure after default") << QList<bool>() << false;
    QTest::newRow("success after success") << QList<bool> { true } << true;
    QTest::newRow("success after failure") << QList<bool> { false } << true;
    QTest::newRow("failure after success") << QList<bool> { true } << false;
    QTest::newRow("failure after failure") << QList<bool> { false } << false;
}
// clang-format on

void TestPanel::statusLineKeepsColourInForce()
{
    QFETCH(QList<bool>, earlier);
    QFETCH(bool, success);

    PanelDriver driver;
    for (bool earlierSuccess : earlier)
        driver.addStatusLine("earlier", earlierSuccess);
    driver.addStatusLine("status", success);
    driver.addLine("after");

    const int last = driver.lines().size() - 1;
    QCOMPARE(driver.lines().at(last - 1), QStringLiteral("status"));
    QCOMPARE(driver.lineColor(last - 1), driver.statusColor(success));
    QCOMPARE(driver.lineColor(last), QColor());
}

void TestPanel::clickIntoLogKeepsColour()
{
    PanelDriver driver;
    QTextEdit *log = driver.log();
    QTextCursor onWarning(log->document()->findBlockByNumber(11));
    onWarning.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 5);
    QTest::mouseClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, log->cursorRect(onWarning).center());
    // The click must really have put the view's cursor on the red line.
    QCOMPARE(log->textCursor().blockNumber(), 11);
    QCOMPARE(log->textCursor().charFormat().foreground().color(), driver.statusColor(false));

    driver.addLine("plain");
    driver.addStatusLine("good", true);
    driver.addLine("plain again");

    const int last = driver.lines().size() - 1;
    QCOMPARE(driver.lineColor(last - 2), QColor());
    QCOMPARE(driver.lineColor(last - 1), driver.statusColor(true));
    QCOMPARE(driver.lineColor(last), QColor());
}

// clang-format off
void TestPanel::markupIsWrittenAsText_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("tags") << "<b>bold</b> <i>x</i>";
    QTest::newRow("comparison") << "version < 3 && build > 2";
    QTest::newRow("entity") << "&amp; &lt;";
    QTest::newRow("break") << "one<br>two";
    QTest::newRow("html document") << "<html><body><p>para</p></body></html>";
}
// clang-format on

void TestPanel::markupIsWrittenAsText()
{
    QFETCH(QString, line);
    PanelDriver driver;
    // Each line one edit, so that the log is laid out once per line.
    QSignalSpy edits(driver.log()->document(), &QTextDocument::contentsChange);
    driver.addLine(line);
    driver.addStatusLine(line, false);
    QCOMPARE(driver.linesAfterIntroduction(), QStringList({ line, line }));
    QCOMPARE(edits.count(), 2);
}

void TestPanel::emptyLineAddsParagraph()
{
    PanelDriver driver;
    driver.addLine(QString());
    driver.addLine(QString());
    QCOMPARE(driver.linesAfterIntroduction(), QStringList({ "", "" }));
}

// clang-format off
void TestPanel::replaceLastLine_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("one-line paragraph") << QStringList { "first", "last" } << QStringList { "first", "new" };
    // Removing the empty paragraph's break joins it to the line before, so both go.
    QTest::newRow("empty last paragraph") << QStringList { "first", "last", "" } << QStringList { "first", "new" };
    QTest::newRow("single character") << QStringList { "first", "x" } << QStringList { "first", "new" };
}
// clang-format on

void TestPanel::replaceLastLine()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);

    PanelDriver driver;
    for (const QString &line : before)
        driver.addLine(line);
    driver.replaceLastLine("new");
    QCOMPARE(driver.linesAfterIntroduction(), after);
    QCOMPARE(driver.lineColor(driver.lines().size() - 1), QColor());
}

void TestPanel::replaceLastLineOfWrappedParagraph()
{
    PanelDriver driver;
    const QString paragraph = QString("word ").repeated(80) + "end";
    driver.addLine(paragraph);

    const QTextBlock block = driver.log()->document()->lastBlock();
    QTextLayout *layout = block.layout();
    QVERIFY2(layout->lineCount() > 2, "the paragraph must wrap");
    const int lastLineStart = layout->lineAt(layout->lineCount() - 1).textStart();

    driver.replaceLastLine("new");

    // Only the last visual line goes, with the character before it.
    const QStringList lines = driver.linesAfterIntroduction();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), paragraph.left(lastLineStart - 1));
    QCOMPARE(lines.at(1), QStringLiteral("new"));
}

void TestPanel::statusColoursReadable_data()
{
    QTest::addColumn<QPalette>("palette");

    QTest::newRow("light") << QApplication::style()->standardPalette();
    QPalette dark;
    for (const auto &[role, color] : { std::pair { QPalette::Window, QColor(53, 53, 53) },
                                       { QPalette::WindowText, QColor(Qt::white) },
                                       { QPalette::Base, QColor(30, 30, 30) },
                                       { QPalette::Text, QColor(Qt::white) },
                                       { QPalette::Button, QColor(53, 53, 53) },
                                       { QPalette::ButtonText, QColor(Qt::white) } })
        dark.setColor(role, color);
    dark.setColor(QPalette::Disabled, QPalette::Base, QColor(53, 53, 53));
    QTest::newRow("dark") << dark;
}

// Against the log's background, enabled and disabled, in the hue of the
// house colours: the green (34, 177, 76) and pure red.
void TestPanel::statusColoursReadable()
{
    QFETCH(QPalette, palette);
    const QPalette previous = QApplication::palette();
    QApplication::setPalette(palette);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(previous); });

    PanelDriver driver;
    driver.addStatusLine("good", true);
    driver.addStatusLine("bad", false);
    const int last = driver.lines().size() - 1;
    for (bool enabled : { true, false }) {
        driver.panel()->setEnabled(enabled);
        const QColor background = driver.log()->palette().color(enabled ? QPalette::Active : QPalette::Disabled,
                                                                QPalette::Base);
        for (const auto &[line, hue] : { std::pair { last - 1, 137 }, { last, 0 } }) {
            const QColor color = driver.lineColor(line);
            QVERIFY2(contrastRatio(color, background) >= 4.5, qPrintable(color.name() + " on " + background.name()));
            QCOMPARE(qAbs(color.hslHue() - hue) <= 1 || qAbs(color.hslHue() - hue) >= 359, true);
        }
    }
}

// Words broken in the middle, or lines broken into many short ones, would
// make the warnings hard to read.
void TestPanel::introductionReadableAtMinimumSize()
{
    PanelDriver driver;
    QWidget *window = driver.panel()->window();
    window->resize(1, 1);
    QCOMPARE(window->size(), window->minimumSize());
    QCoreApplication::processEvents();

    QTextBlock block = driver.log()->document()->begin();
    for (int line = 0; line < PanelDriver::introductionLines; ++line, block = block.next()) {
        const QTextLayout *layout = block.layout();
        QVERIFY2(layout->lineCount() <= 3, qPrintable(block.text()));
        for (int wrapped = 1; wrapped < layout->lineCount(); ++wrapped)
            QVERIFY2(block.text().at(layout->lineAt(wrapped).textStart() - 1) == QLatin1Char(' '),
                     qPrintable(block.text()));
    }
}

void TestPanel::focusShows_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<QString>("control");
    const QPalette light = QApplication::style()->standardPalette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, Qt::white);
    for (const char *control : { "Log", "Check Versions", "Cancel" }) {
        QTest::addRow("light %s", control) << light << QString(control);
        QTest::addRow("dark %s", control) << dark << QString(control);
    }
}

// Just outside the control with the focus, a ring that stands out from the
// window; Device Select's Cancel has it from the first show.
void TestPanel::focusShows()
{
    QFETCH(QPalette, palette);
    QFETCH(QString, control);
    const QPalette previous = QApplication::palette();
    QApplication::setPalette(palette);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(previous); });

    PanelDriver driver;
    DeviceSelectorDialog selector(driver.panel());
    QWidget *target = control == "Log" ? static_cast<QWidget *>(driver.log()) : driver.button("  " + control + "  ");
    if (control == "Cancel") {
        selector.show();
        target = findButton(&selector, control);
    }
    QVERIFY(QTest::qWaitForWindowActive(target->window()));
    if (control != "Cancel")
        target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    const QImage shot = target->window()->grab().toImage();
    const QPoint outside = target->mapTo(target->window(), QPoint(target->width() / 2, -1));
    const QColor ring = shot.pixelColor(outside * shot.devicePixelRatio());
    QCOMPARE(ring, palette.color(QPalette::WindowText));
    QVERIFY(contrastRatio(ring, palette.color(QPalette::Window)) >= 3);
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
