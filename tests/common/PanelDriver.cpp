#include "PanelDriver.h"

#include "TestFolders.h"

#include "app/MainWindow.h"
#include "session/RunSession.h"
#include "ui/StatusColors.h"
#include "ui/Updater.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QHash>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace {

constexpr int workflowTimeoutMs = 600000;

QString withoutRecordPath(const QString &line)
{
    return line.startsWith(QLatin1String("Record: ")) ? recordLine : line;
}

QStringList announced;
QStringList focused;

void recordAnnouncement(QAccessibleEvent *event)
{
    // Message boxes raise their own alert; the window's lines come from its announcer.
    if (event->type() == QAccessible::Alert && event->object()->inherits("Announcement"))
        announced << withoutRecordPath(event->accessibleInterface()->text(QAccessible::Name));
    // What a reader follows: each focus it is told of, in its window.
    if (event->type() == QAccessible::Focus && event->object() && event->object()->isWidgetType()) {
        const auto *widget = static_cast<QWidget *>(event->object());
        focused << widget->window()->windowTitle() + QStringLiteral(": ")
                + event->accessibleInterface()->text(QAccessible::Name);
    }
}

// Before any panel exists: the first check may start a record.
MainWindow *newWindow()
{
    keepUserDataInTestFolders();
    return new MainWindow;
}

} // namespace

PanelDriver::PanelDriver()
    : window(newWindow())
{
    QAccessible::installUpdateHandler(recordAnnouncement);
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        qWarning("main window was not exposed");
    // Qt joins a screen reader's bus through calls answered on the event
    // loop; on a busy machine a first workflow could end, unheard, before it
    // had joined.
    if (qEnvironmentVariableIsSet("KD740_HEAR_ANNOUNCEMENTS")
        && !QTest::qWaitFor([] { return QAccessible::isActive(); }, workflowTimeoutMs))
        qWarning("Qt never joined the AT-SPI bus");
}

PanelDriver::~PanelDriver()
{
    delete window;
    QAccessible::installUpdateHandler(nullptr);
    announced.clear();
    focused.clear();
}

bool PanelDriver::hearsAnnouncements()
{
    if (!QAccessible::isActive() && qEnvironmentVariableIsSet("KD740_HEAR_ANNOUNCEMENTS"))
        qFatal("the AT-SPI bus is up, but Qt tells it nothing");
    return QAccessible::isActive();
}

QStringList PanelDriver::takeAnnouncements()
{
    return std::exchange(announced, QStringList());
}

QStringList PanelDriver::takeFocusChanges()
{
    return std::exchange(focused, QStringList());
}

Updater *PanelDriver::panel() const
{
    return window->findChild<Updater *>();
}

QTextEdit *PanelDriver::log() const
{
    return panel()->findChild<QTextEdit *>();
}

QPushButton *PanelDriver::button(const QString &text) const
{
    return findButton(panel(), text);
}

QStringList PanelDriver::lines() const
{
    QStringList result;
    const QTextDocument *document = log()->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        result << block.text();
    return result;
}

QStringList PanelDriver::linesAfterIntroduction() const
{
    QStringList result = lines().mid(introductionLines);
    for (QString &line : result)
        line = withoutRecordPath(line);
    return result;
}

QColor PanelDriver::lineColor(int line) const
{
    const QTextBlock block = log()->document()->findBlockByNumber(line);
    QTextCharFormat format = block.charFormat();
    const QTextBlock::iterator first = block.begin();
    if (!first.atEnd())
        format = first.fragment().charFormat();
    if (!format.hasProperty(QTextFormat::ForegroundBrush))
        return QColor();
    return format.foreground().color();
}

QStringList PanelDriver::transcript(int first) const
{
    const QStringList all = lines();
    QStringList result;
    for (int line = first; line < all.size(); ++line) {
        const QColor color = lineColor(line);
        QString mark;
        if (color == statusColor(true))
            mark = QStringLiteral("[green] ");
        else if (color == statusColor(false))
            mark = QStringLiteral("[red] ");
        else if (color == warningColor(log()->palette()))
            mark = QStringLiteral("[amber] ");
        else if (color.isValid())
            mark = QLatin1Char('[') + color.name(QColor::HexArgb) + QStringLiteral("] ");
        result << mark + withoutRecordPath(all.at(line));
    }
    return result;
}

QColor PanelDriver::statusColor(bool success) const
{
    return ::statusColor(success, log()->palette());
}

void PanelDriver::addLine(const QString &s)
{
    QMetaObject::invokeMethod(panel(), "addLine", Q_ARG(QString, s));
}

void PanelDriver::addStatusLine(const QString &s, bool success)
{
    QMetaObject::invokeMethod(panel(), "addStatusLine", Q_ARG(QString, s), Q_ARG(bool, success));
}

void PanelDriver::replaceLastLine(const QString &s)
{
    QMetaObject::invokeMethod(panel(), "replaceLastLine", Q_ARG(QString, s));
}

// A workflow runs on: the click returns once the panel's session is done,
// its questions answered.
void PanelDriver::click(QPushButton *button)
{
    clickInWindow(button);
    waitForWorkflow();
}

// Typed through the X server, the keys arrive after xdotool has ended.
// Typed into Qt, the events that follow them are handled before the keys
// return, and on a slow machine (AddressSanitizer) those can hold the whole
// workflow, its questions answered: that it began is what counts, not that
// it still runs.
void PanelDriver::typeToStart(const QStringList &keys)
{
    const RunSession *session = panel()->findChild<RunSession *>();
    QObject began;
    bool started = false;
    QObject::connect(session, &RunSession::step, &began, [&started] { started = true; });
    typeKeys(keys);
    QTRY_VERIFY(started);
    waitForWorkflow();
}

void PanelDriver::waitForWorkflow()
{
    const RunSession *session = panel()->findChild<RunSession *>();
    const QDeadlineTimer deadline(workflowTimeoutMs);
    while (session->running() && !deadline.hasExpired())
        QTest::qWait(1);
    if (session->running())
        qWarning("the workflow is still running after %d ms", workflowTimeoutMs);
    // Its dialogs go once the event loop is back.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void PanelDriver::click(const QString &buttonText)
{
    QPushButton *target = button(buttonText);
    if (!target)
        qFatal("no button %s", qPrintable(buttonText));
    click(target);
}

void onNextModal(const char *className, const std::function<void(QWidget *)> &action)
{
    // The application owns a watch whose dialog never came.
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    const QByteArray name(className);
    QObject::connect(timer, &QTimer::timeout, [timer, name, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->inherits(name.constData()) || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

void clickInWindow(QPushButton *button)
{
    QWidget *top = button->window();
    QWindow *handle = top->windowHandle();
    const QPoint at = button->mapTo(top, button->rect().center());
    QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, at);
}

void keyInWindow(QWidget *widget, Qt::Key key)
{
    QTest::keyClick(widget->window()->windowHandle(), key);
}

// The window the X server sends typed keys to. As a dialog goes, Qt makes
// the window under it its focus window at once, while the manager may leave
// the X server's focus on nothing for a moment: keys typed then are lost.
static QString xFocusWindow()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), { QStringLiteral("getwindowfocus") });
    xdotool.waitForFinished();
    return QString::fromLatin1(xdotool.readAllStandardOutput()).trimmed();
}

void typeKeys(const QStringList &keys)
{
    if (qEnvironmentVariableIsSet("KD740_WINDOW_MANAGER")) {
        const QWindow *target = QGuiApplication::focusWindow();
        const QString id = target ? QString::number(target->winId()) : QString();
        if (!QTest::qWaitFor([&id] { return xFocusWindow() == id; }))
            qWarning("the X server's focus is on %s, not on Qt's focus window %s", qPrintable(xFocusWindow()),
                     qPrintable(id));
        if (QProcess::execute(QStringLiteral("xdotool"), QStringList(QStringLiteral("key")) + keys) != 0)
            qWarning("xdotool could not type %s", qPrintable(keys.join(' ')));
        return;
    }
    static const QHash<QString, Qt::Key> codes = {
        { "Return", Qt::Key_Return }, { "Escape", Qt::Key_Escape }, { "Tab", Qt::Key_Tab }, { "space", Qt::Key_Space }
    };
    for (const QString &key : keys)
        QTest::keyClick(QGuiApplication::focusWindow(), codes.value(key));
}

void closeInWindow(QWidget *widget)
{
    QCloseEvent event;
    QCoreApplication::sendEvent(widget->window()->windowHandle(), &event);
}

QPushButton *findButton(QWidget *container, const QString &text)
{
    const QList<QPushButton *> buttons = container->findChildren<QPushButton *>();
    for (QPushButton *candidate : buttons) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}
