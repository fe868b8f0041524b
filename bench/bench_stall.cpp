// Measures the GUI thread's longest stall during each workflow: the longest
// time between two ticks of a 1 ms timer, which fires from whatever event
// loop is running (the main one, a modal dialog). A window
// that goes this long without an event-loop iteration neither repaints nor
// answers input.
//
// The check and the bootstrap run at the simulator's real timings, since the
// bootstrap's stall is as long as its calls when they run on the GUI thread.
// The update and the restore run scaled down: their device calls are all on
// workers, so only the writes' duration depends on the scale.

#include "app/MainWindow.h"
#include "session/RunSession.h"
#include "ui/Updater.h"

#include "FirmwareImage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// Ticks every millisecond and keeps the longest gap between two ticks.
class Heartbeat
{
public:
    Heartbeat()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
    }

    void start()
    {
        longestNs = 0;
        clock.start();
        last = 0;
        timer.start();
    }

    double stopMs()
    {
        tick();
        timer.stop();
        return longestNs / 1e6;
    }

private:
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        longestNs = std::max(longestNs, now - last);
        last = now;
    }

    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longestNs = 0;
};

// Answers the model selector and the downgrade question as a user would.
class ModalAnswerer
{
public:
    explicit ModalAnswerer(const QString &model)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [model] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->inherits("DeviceSelectorDialog"))
                return;
            const QList<QAbstractButton *> buttons = modal->findChildren<QAbstractButton *>();
            for (QAbstractButton *button : buttons) {
                if (button->text() == model)
                    button->click();
            }
        });
        timer.start();
    }

private:
    QTimer timer;
};

void sleepInEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Session
{
    const char *name;
    const char *instrument;
    const char *model; // answers the selector, if asked
    const char *workflow; // the slot measured after the check, or none
    const char *scale; // of the workflow; the check runs at 1
};

const Session sessions[] = {
    { "check, KD740B found", "model 1\nlink usb\nstate normal\nboot 4\nrun 5\nfpga 10\n", "", nullptr, "1" },
    { "check, KD740B bootstrapped", "model 1\nlink usb\nstate silent\nboot 4\nrun 5\nfpga 12\n", "KD740B", nullptr,
      "1" },
    { "check, KD740C bootstrapped", "model 2\nlink net\nstate silent\nboot 5\nfpga 3\n", "KD740C", nullptr, "1" },
    { "update, KD740B", "model 1\nlink usb\nstate normal\nboot 3\nrun 4\nfpga 10\n", "", "updateDevice", "0.01" },
    { "update, KD740C", "model 2\nlink net\nstate normal\nboot 4\nfpga 2\n", "", "updateDevice", "0.01" },
    { "restore, KD740B in boot mode", "model 1\nlink usb\nstate boot\nboot 4\nrun erased\nfpga 12\n", "",
      "restoreDevice", "0.01" },
    { "restore, KD740C, FPGA failed", "model 2\nlink net\nstate fpga-failed\nboot 5\nfpga 3\n", "", "restoreDevice",
      "0.01" },
};

// From the press to the end of the workflow the slot starts, questions included.
double measure(Heartbeat &heartbeat, Updater *panel, const char *slot, double *seconds)
{
    QElapsedTimer wall;
    wall.start();
    heartbeat.start();
    QMetaObject::invokeMethod(panel, slot);
    const RunSession *session = panel->findChild<RunSession *>();
    while (session->running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double stall = heartbeat.stopMs();
    *seconds = wall.elapsed() / 1000.0;
    return stall;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QTemporaryDir scratch;
    QDir::setCurrent(scratch.path());
    std::string error;
    if (!kdsim::writeShippedImages(QDir(scratch.path()).filePath("firmware").toStdString(), &error)) {
        std::fprintf(stderr, "cannot write the images: %s\n", error.c_str());
        return 1;
    }
    // With their signed list, as shipped.
    for (const QString &list : { QStringLiteral(KD740_SIGNED_LIST), QStringLiteral(KD740_SIGNED_LIST ".minisig") })
        QFile::copy(list, scratch.filePath(QStringLiteral("firmware/") + QFileInfo(list).fileName()));
    const QString description = scratch.filePath("instrument.txt");
    qputenv("KDSIM_DEVICE", QFile::encodeName(description));

    std::printf("%-32s %12s %10s %8s\n", "workflow", "stall (ms)", "time (s)", "scale");
    Heartbeat heartbeat;
    for (const Session &session : sessions) {
        QFile file(description);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QByteArray("instrument\nserial 4321\n") + session.instrument);
        file.close();
        qputenv("KDSIM_SCALE", "1");

        MainWindow window;
        window.show();
        sleepInEventLoop(300);
        auto *panel = window.findChild<Updater *>();
        const ModalAnswerer answerer(QString::fromLatin1(session.model));

        double seconds = 0;
        double stall = measure(heartbeat, panel, "checkVersions", &seconds);
        const char *scale = "1";
        if (session.workflow) {
            qputenv("KDSIM_SCALE", session.scale);
            scale = session.scale;
            stall = measure(heartbeat, panel, session.workflow, &seconds);
        }
        std::printf("%-32s %12.1f %10.1f %8s\n", session.name, stall, seconds, scale);
        std::fflush(stdout);
    }
    return 0;
}
