// The window under a real window manager (openbox on Xvfb, as Debian ships
// them) and on a small screen: 1024x600 at 150 %. The manager decides what a
// frame offers, so only it can show whether the busy dialog can be closed,
// minimised or maximised. Without Xvfb, openbox, xprop or xdotool the tests
// are skipped.

#include "app/MainWindow.h"
#include "ui/CVProgressDialog.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

namespace {

QString missingTool()
{
    for (const char *tool : { "Xvfb", "openbox", "xprop", "xdotool" }) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/setup.sh --ci installs it)").arg(tool);
    }
    return QString();
}

// What xprop says of window's property, once the manager has set it.
QString windowProperty(const QWidget &window, const char *name)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), { "-id", QString::number(window.winId()), name });
    xprop.waitForFinished();
    const QString answer = QString::fromLatin1(xprop.readAllStandardOutput()).trimmed();
    if (answer.contains(QLatin1String("not found")))
        return QString();
    return answer.contains(QLatin1String(" = ")) ? answer.section(QStringLiteral(" = "), 1) : answer;
}

QString text(const QRect &rect)
{
    return QStringLiteral("%1x%2%3%4").arg(rect.width()).arg(rect.height()).arg(rect.x(), 0).arg(rect.y());
}

} // namespace

class TestWindowManager : public QObject
{
    Q_OBJECT

public:
    explicit TestWindowManager(const QString &missing)
        : missing(missing)
    {
    }

private slots:
    void init()
    {
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
    }
    void busyDialogOffersNoButton();
    void windowFitsSmallScreen();

private:
    const QString missing;
};

// No title bar, which is where openbox puts its buttons, whatever a window
// asks; minimised all the same (from the keyboard), it comes straight back.
void TestWindowManager::busyDialogOffersNoButton()
{
    MainWindow window;
    window.show();
    CVProgressDialog dialog(QStringLiteral("Updating Device\nPlease Wait..."), QStringLiteral("Opening"), &window);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QString extents; // left, right, top, bottom
    QTRY_VERIFY(!(extents = windowProperty(dialog, "_NET_FRAME_EXTENTS")).isEmpty());
    QCOMPARE(extents.section(", ", 2, 2), extents.section(", ", 3, 3));
    QProcess::execute(QStringLiteral("xdotool"), { "windowminimize", QString::number(dialog.winId()) });
    QTest::qWait(500);
    QTRY_VERIFY2(windowProperty(dialog, "WM_STATE").contains(QLatin1String("window state: Normal")),
                 qPrintable(windowProperty(dialog, "WM_STATE")));
}

// The frame and every button within the screen's free area.
void TestWindowManager::windowFitsSmallScreen()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect room = window.screen()->availableGeometry();
    QTRY_VERIFY2(room.contains(window.frameGeometry()), qPrintable(text(window.frameGeometry()) + " in " + text(room)));
    for (const QPushButton *button : window.findChildren<QPushButton *>())
        QVERIFY(room.contains(QRect(button->mapToGlobal(QPoint()), button->size())));
}

// A display of its own, with the manager on it, before the application
// connects; both end with the test.
int main(int argc, char *argv[])
{
    QString missing = missingTool();
    QProcess display, manager;
    if (missing.isEmpty()) {
        display.start(QStringLiteral("Xvfb"), { "-displayfd", "1", "-screen", "0", "1024x600x24", "-nolisten", "tcp" });
        if (!display.waitForReadyRead(10000))
            missing = QStringLiteral("Xvfb did not start");
    }
    if (missing.isEmpty()) {
        qputenv("DISPLAY", ':' + display.readAllStandardOutput().trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("QT_SCALE_FACTOR", "1.5");
        manager.start(QStringLiteral("openbox"), { "--sm-disable" });
        manager.waitForStarted();
    }
    QApplication app(argc, argv);
    TestWindowManager test(missing);
    const int status = QTest::qExec(&test, argc, argv);
    for (QProcess *process : { &manager, &display }) {
        process->terminate();
        process->waitForFinished();
    }
    return status;
}

#include "tst_window_manager.moc"
