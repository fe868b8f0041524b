#include "WindowScript.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTextEdit>
#include <QWindow>

#include <cstdio>

QWidget *mainWindow()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (widget->inherits("MainWindow"))
            return widget;
    }
    return nullptr;
}

void printWindow()
{
    QWidget *window = mainWindow();
    if (!window)
        return;
    // Which plugins drew it: an installed copy must load its own.
    std::printf("platform %s\nstyle %s\n", qPrintable(QGuiApplication::platformName()),
                qPrintable(QApplication::style()->objectName()));
    std::printf("title %s\n", qPrintable(window->windowTitle()));
    const QSize room = window->screen()->availableGeometry().size();
    std::printf("size %dx%d\nroom %dx%d\n", window->width(), window->height(), room.width(), room.height());
    if (auto *log = window->findChild<QTextEdit *>())
        std::printf("log\n%s\nend of log\n", qPrintable(log->toPlainText()));
    std::fflush(stdout);
}

void clickButton(QWidget *top, const QString &text)
{
    const QList<QPushButton *> buttons = top->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == text) {
            QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                              button->mapTo(top, button->rect().center()));
            return;
        }
    }
}

namespace {

// Waits for the workflow a click started, its questions answered.
void waitForWorkflow(QWidget *window)
{
    QObject *session = nullptr;
    const QObjectList children = window->findChildren<QObject *>();
    for (QObject *child : children) {
        if (child->inherits("RunSession"))
            session = child;
    }
    while (session && session->property("running").toBool())
        QTest::qWait(5);
}

} // namespace

void checkThenUpdate(QWidget *window)
{
    clickButton(window, QStringLiteral("  Check Versions  "));
    waitForWorkflow(window);
    clickButton(window, QStringLiteral("  Update  "));
    waitForWorkflow(window);
}
