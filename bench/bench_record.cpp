// What proving the images costs an update: the image check (size, then the
// SHA-256 the record takes too, in one read into the run's private copy) on
// the check's worker, against the update's own time; the time from Update to
// the write's first library call, now that the copies are made by then; and
// that a file of the wrong size is not read at all.
//
// The updates run in the real window against the simulated instrument: the
// shortest there is (a KD740B's boot program alone) at the simulator's real
// timings, an FPGA update at a tenth of them, its time scaled back up. The
// simulated images are small (4 and 16 KiB), so hashing is also timed on
// files of the sizes real images may have.

#include "app/MainWindow.h"
#include "catalogue/FileDigest.h"
#include "catalogue/ImageCopies.h"
#include "catalogue/ImageSource.h"
#include "session/RunSession.h"
#include "ui/Updater.h"
#include "workers/ImageCheck.h"

#include "FirmwareImage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Median of a few runs of work, in milliseconds.
template <typename Work>
double medianMs(Work work, int count = 5)
{
    std::vector<double> runs;
    for (int run = 0; run < count; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        runs.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

double hashMs(const QString &path)
{
    return medianMs([&] {
        if (digestOf(path).size < 0)
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
    });
}

// The whole check of an update's images as the check's worker makes it: the
// folder's signed list, then each image read once into a fresh run's copies;
// expected: its line.
double checkMs(const QStringList &paths, const QString &expected, int count = 5)
{
    QVector<QByteArray> names;
    for (const QString &path : paths)
        names << QFile::encodeName(path);
    return medianMs(
        [&] {
            ImageCopies copies;
            const QString line = firstUnusableImage(readImageList(ImageSource()), copies, names);
            if (line != expected)
                std::fprintf(stderr, "the check of %s says '%s'\n", qPrintable(paths.join(' ')), qPrintable(line));
        },
        count);
}

double checkMs(const QString &path, const QString &expected)
{
    return checkMs(QStringList(path), expected);
}

struct Update
{
    const char *name;
    const char *instrument;
    const char *image; // the one image it writes
    double scale;
};

const Update updates[] = {
    { "KD740B boot program only", "model 1\nboot 3\nrun 5\nfpga 12\n", "kd740b_boot_4.img", 1 },
    { "KD740B FPGA only", "model 1\nboot 4\nrun 5\nfpga 10\n", "kd740b_fpga_12.rbf", 0.1 },
};

// The simulated instrument an update starts from.
void describe(const QString &description, const Update &update)
{
    QFile file(description);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QByteArray("instrument\nserial 4321\nlink usb\nstate normal\n") + update.instrument);
}

// Milliseconds from pressing Update to the start of the write's first
// library call, as the window learns of it (the call's own time taken off),
// the simulator not sleeping.
double updateToFirstCallMs(const QString &description, const Update &update)
{
    describe(description, update);
    qputenv("KDSIM_SCALE", "0");
    MainWindow window;
    window.show();
    auto *panel = window.findChild<Updater *>();
    auto *session = panel->findChild<RunSession *>();
    QEventLoop loop;
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    QObject::connect(session, &RunSession::checkEnded, &loop, &QEventLoop::quit);
    QMetaObject::invokeMethod(panel, "checkVersions");
    loop.exec();
    QElapsedTimer timer;
    double firstMs = -1;
    QObject::connect(session, &RunSession::call, panel, [&](const CallEvent &event) {
        if (firstMs < 0)
            firstMs = timer.nsecsElapsed() / 1e6 - event.microseconds / 1e3;
    });
    QObject::disconnect(session, &RunSession::checkEnded, &loop, &QEventLoop::quit);
    QObject::connect(session, &RunSession::ended, &loop, &QEventLoop::quit);
    timer.start();
    QMetaObject::invokeMethod(panel, "updateDevice");
    loop.exec();
    return firstMs;
}

// Seconds from pressing Update to its outcome.
double updateSeconds(const QString &description, const Update &update)
{
    describe(description, update);
    qputenv("KDSIM_SCALE", "0");
    MainWindow window;
    window.show();
    auto *panel = window.findChild<Updater *>();
    QMetaObject::invokeMethod(panel, "checkVersions");
    qputenv("KDSIM_SCALE", QByteArray::number(update.scale));
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(panel, "updateDevice");
    return timer.elapsed() / 1000.0 / update.scale;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    QDir::setCurrent(scratch.path());
    // The records of these runs stay in the scratch folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath("data")));
    std::string error;
    if (!kdsim::writeShippedImages(QDir(scratch.path()).filePath("firmware").toStdString(), &error)) {
        std::fprintf(stderr, "cannot write the images: %s\n", error.c_str());
        return 1;
    }
    for (const QString &list : { QStringLiteral(KD740_SIGNED_LIST), QStringLiteral(KD740_SIGNED_LIST ".minisig") })
        QFile::copy(list, scratch.filePath(QStringLiteral("firmware/") + QFileInfo(list).fileName()));
    qputenv("KDSIM_DEVICE", QFile::encodeName(scratch.filePath("instrument.txt")));

    // The images are proven and copied on the check's worker; between Update
    // and the write's first call the worker only looks its copies up.
    const int many = 201;
    std::printf("%-34s %12s %12s\n", "KD740B FPGA update (shipped)", "median (ms)", "longest (ms)");
    std::vector<double> firstCalls;
    for (int run = 0; run < 41; ++run)
        firstCalls.push_back(updateToFirstCallMs(scratch.filePath("instrument.txt"), updates[1]));
    std::sort(firstCalls.begin(), firstCalls.end());
    std::printf("%-34s %12.3f %12.3f\n", "Update to first call", firstCalls[firstCalls.size() / 2], firstCalls.back());
    const struct
    {
        const char *name;
        QStringList images;
    } checks[] = {
        { "KD740B FPGA only", { "./firmware/kd740b_fpga_12.rbf" } },
        { "KD740A all three parts",
          { "./firmware/kd740a_boot_4.img", "./firmware/kd740a_run_5.img", "./firmware/kd740a_fpga_9.rbf" } },
    };
    // What the write's worker did there before: read the list again and hash
    // each image again, without a copy; what the check's worker does now.
    // Before its first call the write's worker now only looks up its copies.
    std::printf("%-34s %12s %12s %12s\n", "proving the images", "was (ms)", "check (ms)", "write (ms)");
    for (const auto &check : checks) {
        ImageCopies copies;
        QVector<QByteArray> names;
        for (const QString &image : check.images)
            names << QFile::encodeName(image);
        firstUnusableImage(readImageList(ImageSource()), copies, names);
        const double lookupMs = medianMs(
            [&] {
                for (const QByteArray &name : qAsConst(names)) {
                    if (provenCopy(copies, name).isEmpty())
                        std::fprintf(stderr, "no copy of %s\n", name.constData());
                }
            },
            many);
        const double wasMs = medianMs(
            [&] {
                ImageSource().read();
                for (const QString &image : check.images)
                    digestOf(image);
            },
            many);
        std::printf("%-34s %12.3f %12.3f %12.4f\n", check.name, wasMs, checkMs(check.images, QString(), many),
                    lookupMs);
    }
    std::printf("\n");

    std::printf("%-28s %14s %14s %12s\n", "update", "update (s)", "check (ms)", "share");
    for (const Update &update : updates) {
        const double seconds = updateSeconds(scratch.filePath("instrument.txt"), update);
        const double ms = checkMs(QStringLiteral("./firmware/") + update.image, QString());
        std::printf("%-28s %14.1f %14.3f %11.5f%%\n", update.name, seconds, ms, ms / 10 / seconds);
    }

    // A sparse file: its size is enough to refuse it.
    const QString sparse = QStringLiteral("./firmware/kd740b_fpga_12.rbf");
    QFile(sparse).resize(qint64(2) << 30);
    std::printf("\n%-28s %14.3f ms\n", "check of 2 GiB sparse image",
                checkMs(sparse, QStringLiteral("Firmware image is not the one shipped: ") + sparse));
    QFile::remove(sparse);

    std::printf("\n%-28s %14s %14s\n", "image size", "hashing (ms)", "MB/s");
    for (const qint64 kib : { 256, 4096, 32768, 131072 }) {
        const QString path = scratch.filePath("image.bin");
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray chunk(1024 * 1024, Qt::Uninitialized);
        for (qint64 left = kib * 1024; left > 0; left -= chunk.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
            file.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
        }
        file.close();
        const double ms = hashMs(path);
        std::printf("%-28s %14.1f %14.0f\n", qPrintable(QStringLiteral("%1 KiB").arg(kib)), ms,
                    kib / 1024.0 / (ms / 1000.0));
    }
    return 0;
}
