#ifndef PANELDRIVER_H
#define PANELDRIVER_H

#include <QColor>
#include <QString>
#include <QStringList>

#include <functional>

class MainWindow;
class QPushButton;
class QTextEdit;
class QWidget;
class Updater;

// The panel's buttons, found by their text as the user finds them.
inline const QString checkButton = QStringLiteral("  Check Versions  ");
inline const QString updateButton = QStringLiteral("  Update  ");
inline const QString restoreButton = QStringLiteral("  Restore  ");

// The log line that names the run's record, as linesAfterIntroduction() and
// transcript() give it: the path differs from run to run.
inline const QString recordLine = QStringLiteral("Record: <path>");

// Drives the real updater window the way a user would and reads back what
// the log shows. Clicks go through the window system's event path, so a
// modal dialog blocks them as it would block the user.
class PanelDriver
{
public:
    // The log's lines before anything the user asked for.
    static constexpr int introductionLines = 13;

    PanelDriver();
    ~PanelDriver();

    Updater *panel() const;
    QTextEdit *log() const;
    QPushButton *button(const QString &text) const;

    QStringList lines() const;
    // The lines written after the introduction, a record's path as recordLine.
    QStringList linesAfterIntroduction() const;
    // The explicit foreground of a line, or an invalid colour for the default.
    QColor lineColor(int line) const;
    // The colour of a success (green) or failure (red) line in this log.
    QColor statusColor(bool success) const;
    // The lines from line `first` on, each with an explicit colour marked in
    // front of it: "[green] ", "[red] ", or "[#rrggbb] " for any other, so that
    // text and colour of a whole transcript compare in one go. A record's
    // path reads as in recordLine.
    QStringList transcript(int first) const;

    void addLine(const QString &s);
    void addStatusLine(const QString &s, bool success);
    void replaceLastLine(const QString &s);

    void click(QPushButton *button);
    void click(const QString &buttonText);
    // Types keys (xdotool's names: "Return", "Tab", "space"), which press the
    // button with the focus; the workflow it starts runs on as for click().
    void typeToStart(const QStringList &keys);

    // What was said to a screen reader since the last call (alert events, by
    // the name of what they came from), a record's path as recordLine. Qt
    // tells only while a screen reader's bus is up (atspi/run.sh): else false.
    static bool hearsAnnouncements();
    QStringList takeAnnouncements();
    // Each focus a screen reader was told of since the last call, as
    // "window title: accessible name", in order.
    static QStringList takeFocusChanges();

private:
    // Until the panel's session is done, its questions answered.
    void waitForWorkflow();

    MainWindow *window;
};

// Runs action on the next modal dialog of the given class name that becomes
// active (e.g. "DeviceSelectorDialog", "QMessageBox"), from the event loop.
void onNextModal(const char *className, const std::function<void(QWidget *)> &action);

// Clicks a push button inside a dialog through its window.
void clickInWindow(QPushButton *button);

// Sends a key to a widget's window, as the window system would.
void keyInWindow(QWidget *widget, Qt::Key key);

// Types keys into whichever window has the keyboard: under a window manager
// (atspi/run.sh) through the X server, so that the manager's focus decides
// where they go; else into the window Qt has active.
void typeKeys(const QStringList &keys);

// Asks a widget's window to close, as its title bar's close control would.
void closeInWindow(QWidget *widget);

// The push button with this text inside a widget, or null.
QPushButton *findButton(QWidget *container, const QString &text);

#endif
