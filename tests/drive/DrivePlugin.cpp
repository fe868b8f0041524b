// Drives an installed or built updater from inside, as a user would from its
// window, where no test can reach it: Qt loads this plugin into the program
// when QT_QPA_GENERIC_PLUGINS names "kd740drive" and QT_PLUGIN_PATH holds
// generic/ of this build. KD740_DRIVE says what to do:
//   check          check the versions
//   update:FILE    check, update, then save the window to the PNG file FILE
// It then prints the log on stdout and ends the program, with status 0, or 1
// if the program was still busy after two minutes.

#include "tests/common/MainWindowLookup.h"

#include <QApplication>
#include <QGenericPlugin>
#include <QPixmap>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void printLog(QWidget *window)
{
    if (auto *log = window ? window->findChild<QTextEdit *>() : nullptr)
        std::printf("%s\n", qPrintable(log->toPlainText()));
    std::fflush(stdout);
}

// A workflow runs inside its button's click, so this returns when it is over.
bool click(QWidget *window, const QString &text)
{
    const QList<QPushButton *> buttons = window->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == text && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    std::fprintf(stderr, "kd740drive: no enabled button '%s'\n", qPrintable(text));
    return false;
}

void drive(const QString &what)
{
    QWidget *window = findMainWindow();
    bool done = window && click(window, QStringLiteral("  Check Versions  "));
    if (done && what.startsWith(QLatin1String("update:"))) {
        done = click(window, QStringLiteral("  Update  "));
        const QString file = what.mid(int(qstrlen("update:")));
        if (done && !window->grab().save(file, "PNG")) {
            std::fprintf(stderr, "kd740drive: cannot save %s\n", qPrintable(file));
            done = false;
        }
    }
    printLog(window);
    QCoreApplication::exit(done ? 0 : 1);
}

} // namespace

class DrivePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "drive.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        const QString what = qEnvironmentVariable("KD740_DRIVE");
        QTimer::singleShot(0, [what] { drive(what); });
        QTimer::singleShot(120000, [] {
            std::fprintf(stderr, "kd740drive: still busy after two minutes\n");
            printLog(findMainWindow());
            std::_Exit(1);
        });
        return new QObject;
    }
};

#include "DrivePlugin.moc"
