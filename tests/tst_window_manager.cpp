// The window under a real window manager (openbox on Xvfb, as Debian ships
// them) on a small screen: 1024x600 at 150 %. Only the manager shows what a
// frame offers. Skipped without Xvfb, openbox, xprop or xdotool.

#include "app/MainWindow.h"
#include "ui/CVProgressDialog.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QWindow>

namespace {

QString missing;

// xprop's answer for window's property, after " = " where it has one.
QString windowProperty(const QWidget &window, const char *name)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), { "-id", QString::number(window.winId()), name });
    xprop.waitForFinished();
    const QString answer = QString::fromLatin1(xprop.readAllStandardOutput()).trimmed();
    return answer.contains(QLatin1String("not found")) ? QString() : answer.section(QStringLiteral(" = "), -1);
}

} // namespace

class TestWindowManager : public QObject
{
    Q_OBJECT

private slots:
    void windowAndBusyDialog();
};

// The frame and every button on the screen's free area; the busy dialog with
// no title bar, where openbox puts its buttons whatever a window asks, and
// straight back when minimised all the same (from the keyboard).
void TestWindowManager::windowAndBusyDialog()
{
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing));
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, 20000));
    const QRect room = window.screen()->availableGeometry();
    QTRY_VERIFY(room.contains(window.frameGeometry()));
    for (const QPushButton *button : window.findChildren<QPushButton *>())
        QVERIFY(room.contains(QRect(button->mapToGlobal(QPoint()), button->size())));

    CVProgressDialog dialog(QStringLiteral("Updating Device\nPlease Wait..."), QStringLiteral("Opening"), &window);
    dialog.show();
    QString extents; // left, right, top, bottom
    QTRY_VERIFY(!(extents = windowProperty(dialog, "_NET_FRAME_EXTENTS")).isEmpty());
    QCOMPARE(extents.section(", ", 2, 2), extents.section(", ", 3, 3));
    // Shown by the manager first: a request to minimise a window that it
    // has framed but not yet mapped is lost.
    QVERIFY(QTest::qWaitForWindowExposed(&dialog, 20000));
    QTRY_VERIFY(windowProperty(dialog, "WM_STATE").contains(QLatin1String("window state: Normal")));
    // The dialog restores itself as soon as Qt hears of the minimising, so
    // the manager's Iconic state may be gone before xprop could read it:
    // Qt's own event says that the manager minimised it.
    bool minimised = false;
    connect(dialog.windowHandle(), &QWindow::windowStateChanged, &dialog,
            [&minimised](Qt::WindowState state) { minimised = minimised || state == Qt::WindowMinimized; });
    QProcess::execute(QStringLiteral("xdotool"), { "windowminimize", QString::number(dialog.winId()) });
    QTRY_VERIFY(minimised);
    QTRY_VERIFY(!dialog.isMinimized()
                && windowProperty(dialog, "WM_STATE").contains(QLatin1String("window state: Normal")));
}

// A display of its own with the manager on it, before the application connects.
int main(int argc, char *argv[])
{
    for (const char *tool : { "Xvfb", "openbox", "xprop", "xdotool" }) {
        if (missing.isEmpty() && QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing = QStringLiteral("%1 is not installed (scripts/setup.sh --ci installs it)").arg(tool);
    }
    QProcess display, manager;
    display.start(QStringLiteral("Xvfb"), { "-displayfd", "1", "-screen", "0", "1024x600x24", "-nolisten", "tcp" });
    if (missing.isEmpty() && !display.waitForReadyRead(10000))
        missing = QStringLiteral("Xvfb did not start");
    if (missing.isEmpty()) {
        qputenv("DISPLAY", ':' + display.readAllStandardOutput().trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("QT_SCALE_FACTOR", "1.5");
        manager.start(QStringLiteral("openbox"), { "--sm-disable" });
        // Managing once it has said so on the root window.
        const QStringList check = { "-c", "xprop -root | grep -q _NET_SUPPORTING_WM_CHECK" };
        for (int tries = 0; tries < 100 && QProcess::execute(QStringLiteral("sh"), check) != 0; ++tries)
            QThread::msleep(100);
    }
    QApplication app(argc, argv);
    TestWindowManager test;
    const int status = QTest::qExec(&test, argc, argv);
    manager.kill();
    display.kill();
    manager.waitForFinished();
    display.waitForFinished();
    return status;
}

#include "tst_window_manager.moc"
