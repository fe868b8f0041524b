// Measures what waiting for a worker costs the GUI thread: its CPU time as a
// share of wall time with the busy dialog alone, during a version check whose
// simulated calls last several seconds, and (for comparison) with a loop that
// pumps events without sleeping; what the busy dialog's once-a-second
// progress lines add; and the delay from a worker line's emission to its
// arrival in the log.

#include "app/MainWindow.h"
#include "ui/CVProgressDialog.h"
#include "ui/Updater.h"
#include "workers/ProgressText.h"
#include "workers/WorkerWait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const QString busyLabel = QStringLiteral("Checking KD740 firmware version\nEstimated 30 seconds\nPlease Wait");

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double threadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// CPU share of the GUI thread while body runs.
template <typename Body>
double cpuShare(Body body, double *wallSeconds)
{
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = threadCpuSeconds();
    body();
    const double cpu = threadCpuSeconds() - cpuBefore;
    *wallSeconds = wall.nsecsElapsed() / 1e9;
    return cpu / *wallSeconds;
}

void sleepInEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class SleepingThread : public QThread
{
public:
    explicit SleepingThread(int ms)
        : ms(ms)
    {
    }

protected:
    void run() override { msleep(ms); }

private:
    int ms;
};

// Emits lines that carry their own emission time.
class TimestampThread : public QThread
{
    Q_OBJECT

public:
    explicit TimestampThread(int lines)
        : lines(lines)
    {
    }

signals:
    void addLine(QString s);

protected:
    void run() override
    {
        for (int i = 0; i < lines; ++i) {
            msleep(20);
            emit addLine(QString::number(nowNs()));
        }
    }

private:
    int lines;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const double scale = argc > 1 ? QString(argv[1]).toDouble() : 2.0;

    QTemporaryDir scratch;
    QDir::setCurrent(scratch.path());
    QFile description(scratch.filePath("instrument.txt"));
    description.open(QIODevice::WriteOnly);
    description.write("instrument\nmodel 1\nserial 1234\nlink usb\nstate normal\nboot 4\nrun 5\nfpga 12\n");
    description.close();
    qputenv("KDSIM_DEVICE", description.fileName().toLocal8Bit());
    qputenv("KDSIM_SCALE", QByteArray::number(scale));

    MainWindow window;
    window.show();
    sleepInEventLoop(500);

    double wall = 0;
    const int aloneMs = 5000;
    const double alone = cpuShare(
        [&] {
            CVProgressDialog dialog(busyLabel, ProgressText::reading(), nullptr);
            dialog.show();
            sleepInEventLoop(aloneMs);
        },
        &wall);
    std::printf("busy dialog alone:      %5.2f %% of a core over %.1f s\n", alone * 100, wall);

    // The busy dialog against the one it replaced (label only, sized for it)
    // and against one of its own size and text that never changes, taken in
    // turns over the same time; then one tick's cost alone: a new text and
    // the label's repaint, many times over on a clock fast enough to change
    // the text every time.
    QSize busySize;
    QString busyText;
    {
        const CVProgressDialog dialog(busyLabel, ProgressText::reading(), nullptr);
        busySize = dialog.size();
        busyText = dialog.labelText();
    }
    const auto plainDialog = [&](const QString &text, const QSize &size) {
        QProgressDialog dialog(text, QString(), 0, 0);
        dialog.setModal(true);
        if (size.isValid())
            dialog.setFixedSize(size);
        dialog.show();
        sleepInEventLoop(aloneMs);
    };
    double before = 0, sameSize = 0, withLines = 0;
    const int rounds = 3;
    for (int round = 0; round < rounds; ++round) {
        before += cpuShare([&] { plainDialog(busyLabel, QSize()); }, &wall) / rounds;
        sameSize += cpuShare([&] { plainDialog(busyText, busySize); }, &wall) / rounds;
        withLines += cpuShare(
                         [&] {
                             CVProgressDialog dialog(busyLabel, ProgressText::reading(), nullptr);
                             dialog.show();
                             sleepInEventLoop(aloneMs);
                         },
                         &wall)
            / rounds;
    }
    std::printf("in turns, %d x %d s each: the busy dialog %5.2f %% of a core; the one it replaced %5.2f %%;\n"
                "  one of its size whose lines never change %5.2f %%\n",
                rounds, aloneMs / 1000, withLines * 100, before * 100, sameSize * 100);
    std::printf("added by updating the lines: %5.2f %% of a core; over the dialog it replaced: %5.2f %%\n",
                (withLines - sameSize) * 100, (withLines - before) * 100);
    {
        CVProgressDialog dialog(busyLabel, ProgressText::reading(), nullptr);
        dialog.show();
        sleepInEventLoop(200);
        // A second of text each tick, so that every tick changes the lines.
        const ProgressText text(ProgressText::reading(), 0);
        auto *label = dialog.findChild<QLabel *>();
        const int ticks = 1000;
        const double start = threadCpuSeconds();
        for (int i = 0; i < ticks; ++i) {
            dialog.showProgress(
                { text.stepLine(-1), text.elapsedLine(i * qint64(1000)), i, -1, text.stepLine(-1), false });
            label->repaint();
        }
        const double perTick = (threadCpuSeconds() - start) / ticks;
        std::printf("one progress tick:      %5.3f ms, at one a second %6.4f of a core\n", perTick * 1000, perTick);
    }

    Updater *panel = window.findChild<Updater *>();
    // The GUI thread waits for the session in its own event loop.
    const double check = cpuShare(
        [&] {
            QMetaObject::invokeMethod(panel, "checkVersions");
            const RunSession *session = panel->findChild<RunSession *>();
            while (session->running())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        },
        &wall);
    std::printf("version check:          %5.2f %% of a core over %.1f s (simulated calls scaled by %g)\n", check * 100,
                wall, scale);
    std::printf("added by the wait:      %5.2f %% of a core\n", (check - alone) * 100);

    const double spin = cpuShare(
        [&] {
            CVProgressDialog dialog(busyLabel, ProgressText::reading(), nullptr);
            dialog.show();
            SleepingThread worker(3000);
            worker.start();
            while (!worker.isFinished())
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            worker.wait();
        },
        &wall);
    std::printf("pumping without sleep:  %5.2f %% of a core over %.1f s (for comparison)\n", spin * 100, wall);

    std::vector<double> delaysMs;
    QTextEdit *log = panel->findChild<QTextEdit *>();
    QObject::connect(log->document(), &QTextDocument::contentsChanged, [&] {
        bool ok = false;
        const qint64 emitted = log->document()->lastBlock().text().toLongLong(&ok);
        if (ok)
            delaysMs.push_back((nowNs() - emitted) / 1e6);
    });
    {
        CVProgressDialog dialog(busyLabel, ProgressText::reading(), nullptr);
        dialog.show();
        TimestampThread worker(200);
        QObject::connect(&worker, SIGNAL(addLine(QString)), panel, SLOT(addLine(QString)));
        runWorker(worker, panel);
    }
    std::sort(delaysMs.begin(), delaysMs.end());
    std::printf("line delay:             median %.3f ms, 90th percentile %.3f ms, max %.3f ms over %zu lines\n",
                median(delaysMs), delaysMs.empty() ? 0 : delaysMs[delaysMs.size() * 9 / 10],
                delaysMs.empty() ? 0 : delaysMs.back(), delaysMs.size());
    return 0;
}

#include "bench_wait.moc"
