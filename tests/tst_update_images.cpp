// Before an update or a restore erases anything it makes sure that every
// image it is going to write can be read, so that no part is left erased for
// want of its image. Driven through the real window against the simulated
// instrument, for both workflows.

#include "FileAccess.h"
#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "catalogue/ImageDigests.h"
#include "catalogue/OutsideText.h"
#include "ui/Updater.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <tuple>

using Sim = SimulatedInstrument;

namespace {

// clang-format off
enum class Damage { Missing, DanglingLink, Empty, Unreadable, Directory, Fifo, Device,
                    Zeros, Short, Longer, Other, Sparse, // the bytes differ
                    Unsigned, Untrusted, ListChanged }; // the folder's signed list
// clang-format on

// Instruments for which each sequence writes every part it has.
const QString updateUsb = Sim::usbInstrument(0, 2001, 3, 4, 8);
const QString updateNet = Sim::netInstrument(5678, 4, 2);
const QString restoreUsb = Sim::usbInstrument(0, 2001, 4, Sim::Erased, 9, "boot");
const QString restoreNet = Sim::netInstrument(5678, 5, 3, "fpga-failed");

QString buttonOf(Workflow workflow)
{
    return workflow == Workflow::Update ? updateButton : restoreButton;
}

QStringList titleOf(Workflow workflow)
{
    return { "", workflow == Workflow::Update ? "Updating Firmware" : "Restoring Device", "" };
}

// A folder's problem names it whole, from the root.
QString wholeFolder(QString problem, const Sim &sim)
{
    if (problem.endsWith(QLatin1String(" ./firmware")))
        problem.replace(problem.size() - 10, 10,
                        outsideText(QDir::toNativeSeparators(QDir(sim.dir()).filePath("firmware"))));
    return problem;
}

QStringList parts(const Sim &sim)
{
    return fields(sim, { "boot", "run", "fpga" });
}

// Why this platform cannot do the damage; empty if it can.
QString missingDamage(Damage how)
{
    switch (how) {
    case Damage::DanglingLink: return missingSpecialFile(SpecialFile::DanglingLink);
    case Damage::Fifo: return missingSpecialFile(SpecialFile::Fifo);
    case Damage::Device: return missingSpecialFile(SpecialFile::Device);
#ifdef Q_OS_WIN
    case Damage::Sparse: return QStringLiteral("a file grown by 2 GiB is not sparse here");
#endif
    default: break;
    }
    return QString();
}

// The same part of another model, beside the image.
QString otherModelsImage(const QString &path)
{
    const QFileInfo image(path);
    const QString part = image.fileName().section('_', 1, 1).replace("fx3", "boot");
    const QString other = image.fileName().startsWith("kd740a") ? "kd740b" : "kd740a";
    return image.dir().filePath(image.dir().entryList({ other + "_" + part + "_*" }).value(0));
}

QString listBeside(const QString &image)
{
    return QFileInfo(image).dir().filePath("SHA256SUMS");
}

void damage(const QString &path, Damage how)
{
    QFile file(path);
    const qint64 size = file.size();
    switch (how) {
    case Damage::Missing: QVERIFY(file.remove()); break;
    case Damage::Empty: QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate)); break;
    case Damage::Unreadable: QVERIFY(makeUnreadable(path)); break;
    case Damage::Directory: QVERIFY(file.remove() && QDir().mkdir(path)); break;
    case Damage::DanglingLink: QVERIFY(replaceWithSpecialFile(path, SpecialFile::DanglingLink)); break;
    case Damage::Fifo: QVERIFY(replaceWithSpecialFile(path, SpecialFile::Fifo)); break;
    case Damage::Device: QVERIFY(replaceWithSpecialFile(path, SpecialFile::Device)); break;
    case Damage::Zeros: QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, '\0')) == size); break;
    case Damage::Short: QVERIFY(file.resize(100)); break;
    case Damage::Longer: QVERIFY(file.open(QIODevice::Append) && file.putChar('\0')); break;
    case Damage::Other: QVERIFY(file.remove() && QFile::copy(otherModelsImage(path), path)); break;
    // Read whole, it would hold the check up for many seconds.
    case Damage::Sparse: QVERIFY(file.resize(qint64(2) << 30)); break;
    case Damage::Unsigned: QVERIFY(QFile::remove(listBeside(path) + ".minisig")); break;
    case Damage::Untrusted:
        QVERIFY(QFile::remove(listBeside(path) + ".minisig")
                && QFile::copy(KD740_TEST_KEYS "/untrusted.minisig", listBeside(path) + ".minisig"));
        break;
    case Damage::ListChanged: {
        QFile list(listBeside(path));
        QVERIFY(list.open(QIODevice::Append) && list.write("\n") == 1);
        break;
    }
    }
}

} // namespace

Q_DECLARE_METATYPE(Workflow)
Q_DECLARE_METATYPE(Damage)

class TestImages : public QObject
{
    Q_OBJECT

private slots:
    void unusableImage_data();
    void unusableImage();
    void imageChangedAfterCheck_data();
    void imageChangedAfterCheck();
    void firstUnusableImageInWriteOrder_data();
    void firstUnusableImageInWriteOrder();
    void currentPartsNeedNoImage();
    void modelOutsideKnownRange_data();
    void modelOutsideKnownRange();
    void damagedBootImage_data();
    void damagedBootImage();
};

void TestImages::unusableImage_data()
{
    QTest::addColumn<Workflow>("workflow");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("image");
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("problem");

    const struct
    {
        const char *name;
        Workflow workflow;
        QString instrument;
        QStringList images;
    } sequences[] = {
        { "update USB", Workflow::Update, updateUsb, { "kd740a_boot_4.img", "kd740a_run_5.img", "kd740a_fpga_9.rbf" } },
        { "update net", Workflow::Update, updateNet, { "kd740c_fx3_v5.img", "kd740c_fpga_v3.rbf" } },
        { "restore USB",
          Workflow::Restore,
          restoreUsb,
          { "kd740a_boot_4.img", "kd740a_run_5.img", "kd740a_fpga_9.rbf" } },
        { "restore net", Workflow::Restore, restoreNet, { "kd740c_fx3_v5.img", "kd740c_fpga_v3.rbf" } },
    };
    const struct
    {
        const char *name;
        Damage damage;
        const char *problem;
    } damages[] = {
        { "missing", Damage::Missing, "Firmware image not found: " },
        { "dangling link", Damage::DanglingLink, "Firmware image not found: " },
        { "empty", Damage::Empty, "Firmware image is empty: " },
        { "unreadable", Damage::Unreadable, "Firmware image cannot be read: " },
        { "directory", Damage::Directory, "Firmware image is not a file: " },
        // Opening a FIFO would wait for a writer that never comes.
        { "FIFO", Damage::Fifo, "Firmware image is not a file: " },
        { "device", Damage::Device, "Firmware image is not a file: " },
        { "all zeros", Damage::Zeros, "Firmware image is not the one shipped: " },
        { "truncated", Damage::Short, "Firmware image is not the one shipped: " },
        { "one byte more", Damage::Longer, "Firmware image is not the one shipped: " },
        { "another model's", Damage::Other, "Firmware image is not the one shipped: " },
        { "sparse 2 GiB", Damage::Sparse, "Firmware image is not the one shipped: " },
    };
    // Refused before any image is looked at: the folder's, whatever the image.
    const struct
    {
        const char *name;
        Damage damage;
        const char *problem;
    } folderDamages[] = {
        { "no signature", Damage::Unsigned, "Firmware images are not signed: no SHA256SUMS.minisig in ./firmware" },
        { "signed by an untrusted key", Damage::Untrusted,
          "Firmware images are not signed by a trusted key: ./firmware" },
        { "list changed after signing", Damage::ListChanged,
          "Firmware images are not signed by a trusted key: ./firmware" },
    };
    for (const auto &sequence : sequences) {
        for (const QString &image : sequence.images) {
            for (const auto &how : damages) {
                QTest::addRow("%s %s %s", sequence.name, qPrintable(image), how.name)
                    << sequence.workflow << sequence.instrument << image << how.damage
                    << how.problem + QStringLiteral("./firmware/") + image;
            }
        }
        for (const auto &how : folderDamages) {
            QTest::addRow("%s %s", sequence.name, how.name)
                << sequence.workflow << sequence.instrument << sequence.images.last() << how.damage << how.problem;
        }
    }
}

// Found by the check, before anything is offered: nothing is erased, and the
// instrument is not opened for a write. The "another model's" rows: an image
// swapped after its list was signed.
void TestImages::unusableImage()
{
    QFETCH(Workflow, workflow);
    QFETCH(QString, instrument);
    QFETCH(QString, image);
    QFETCH(Damage, damage);
    QFETCH(QString, problem);
    if (const QString why = missingDamage(damage); !why.isEmpty())
        QSKIP(qPrintable(why));

    Sim sim;
    sim.setDescription(instrument);
    const QStringList partsBefore = parts(sim);
    ::damage(sim.imagePath(image), damage);
    if (QTest::currentTestFailed())
        return;
    PanelDriver driver;
    {
        const UnprivilegedFileAccess access(sim);
        if (damage == Damage::Unreadable && access.canRead(sim.imagePath(image)))
            QSKIP("this process reads the file whatever its access rights");
        sim.clearTrace();
        driver.click(checkButton);
    }

    const QStringList lines = driver.transcript(PanelDriver::introductionLines);
    QVERIFY2(lines.filter(wholeFolder(problem, sim)).size() == 1, qPrintable(lines.join('\n')));
    QCOMPARE(sim.calls().filter(QRegularExpression("Clear|Write|Bootstrap|BySerial")), QStringList());
    QCOMPARE(parts(sim), partsBefore);
    QVERIFY(!driver.button(buttonOf(workflow))->isEnabled());
}

// The check proves each image in a private copy, and the library writes the
// copy: an image changed after the check, however, changes nothing written.
// The simulator swaps it for the next version as the call before the first
// erase begins (the bootstrap's image as the bootstrap begins).
void TestImages::imageChangedAfterCheck_data()
{
    QTest::addColumn<Workflow>("workflow");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("model"); // bootstrapped as; empty: none
    QTest::addColumn<QString>("swap");
    QTest::addColumn<QString>("shipped"); // the model whose shipped firmware it reports after the write

    const struct
    {
        const char *name;
        Workflow workflow;
        QString instrument;
        QString model;
        const char *call;
        const char *image;
        const char *shipped;
    } sequences[] = {
        { "update USB", Workflow::Update, updateUsb, "", "kdConfigUSBOpenDeviceBySerial", "kd740a_fpga_9.rbf",
          "KD740A" },
        { "update net", Workflow::Update, updateNet, "", "kdConfigNetOpenDevice", "kd740c_fpga_v3.rbf", "KD740C" },
        { "restore USB", Workflow::Restore, restoreUsb, "", "kdConfigUSBOpenDevice", "kd740a_fpga_9.rbf", "KD740A" },
        { "restore net", Workflow::Restore, restoreNet, "", "kdConfigNetOpenDevice", "kd740c_fpga_v3.rbf", "KD740C" },
        { "bootstrap USB", Workflow::Restore, Sim::usbInstrument(1, 6009, Sim::Erased, 5, 12, "silent"), "KD740B",
          "kdConfigUSBBootstrapDevice", "kd740b_boot_4.img", "KD740B" },
        { "bootstrap net", Workflow::Restore, Sim::netInstrument(6010, Sim::Erased, 3, "silent"), "KD740C",
          "kdConfigNetBootstrapDevice", "kd740c_fx3_v5.img", "KD740C" },
    };
    for (const auto &sequence : sequences) {
        for (const char *how : { "replace", "rewrite", "relink", "folder" }) {
            QTest::addRow("%s, %s", sequence.name, how)
                << sequence.workflow << sequence.instrument << sequence.model
                << QStringLiteral("swap %1 %2 firmware/%3\n").arg(sequence.call, how, sequence.image)
                << sequence.shipped;
        }
    }
}

void TestImages::imageChangedAfterCheck()
{
    QFETCH(Workflow, workflow);
    QFETCH(QString, instrument);
    QFETCH(QString, model);
    QFETCH(QString, swap);
    QFETCH(QString, shipped);
#ifdef Q_OS_WIN
    if (swap.contains(" relink "))
        QSKIP("a symbolic link needs a right a test does not have here");
#endif

    Sim sim;
    // A bootstrap is part of the check.
    sim.setDescription(model.isEmpty() ? instrument : instrument + swap);
    PanelDriver driver;
    checkAsUser(driver, buttonOf(workflow), false, model);
    if (QTest::currentTestFailed())
        return;
    if (model.isEmpty())
        armFaults(sim, swap);
    const QStringList transcript = runWorkflow(sim, driver, buttonOf(workflow));

    const QStringList success = successBlockFor(shipped);
    QCOMPARE(transcript.mid(transcript.size() - success.size()), success);
    // The image under that name is another by now, and the library was never given it.
    const QString name = swap.section(' ', 3).section('/', 1).trimmed();
    QFile changed(sim.imagePath(name));
    QVERIFY(changed.open(QIODevice::ReadOnly));
    QVERIFY(QCryptographicHash::hash(changed.readAll(), QCryptographicHash::Sha256).toHex()
            != shippedImage(name).sha256);
    QCOMPARE(sim.calls().filter("firmware/"), QStringList());
    // The copies went with the run.
    const QString copy = sim.trace().filter("kd740-images-").value(0).section('"', 1, 1);
    QVERIFY2(!copy.isEmpty() && !QFileInfo::exists(QFileInfo(copy).path()), qPrintable(copy));
}

void TestImages::firstUnusableImageInWriteOrder_data()
{
    QTest::addColumn<Workflow>("workflow");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QString>("reported");

    for (Workflow workflow : { Workflow::Update, Workflow::Restore }) {
        const bool update = workflow == Workflow::Update;
        const char *name = update ? "update" : "restore";
        const QString usb = update ? updateUsb : restoreUsb;
        const QString net = update ? updateNet : restoreNet;
        QTest::addRow("%s USB run and FPGA", name)
            << workflow << usb << QStringList { "kd740a_fpga_9.rbf", "kd740a_run_5.img" } << "kd740a_run_5.img";
        QTest::addRow("%s USB boot and FPGA", name)
            << workflow << usb << QStringList { "kd740a_fpga_9.rbf", "kd740a_boot_4.img" } << "kd740a_boot_4.img";
        QTest::addRow("%s USB all three", name)
            << workflow << usb << QStringList { "kd740a_fpga_9.rbf", "kd740a_run_5.img", "kd740a_boot_4.img" }
            << "kd740a_boot_4.img";
        QTest::addRow("%s net FX3 and FPGA", name)
            << workflow << net << QStringList { "kd740c_fpga_v3.rbf", "kd740c_fx3_v5.img" } << "kd740c_fx3_v5.img";
    }
}

void TestImages::firstUnusableImageInWriteOrder()
{
    QFETCH(Workflow, workflow);
    QFETCH(QString, instrument);
    QFETCH(QStringList, missing);
    QFETCH(QString, reported);

    Sim sim;
    sim.setDescription(instrument);
    for (const QString &image : missing)
        QVERIFY(QFile::remove(sim.imagePath(image)));
    PanelDriver driver;
    driver.click(checkButton);

    QCOMPARE(driver.transcript(PanelDriver::introductionLines).filter("Firmware image"),
             QStringList("[red] Firmware image not found: ./firmware/" + reported));
    QVERIFY(!driver.button(buttonOf(workflow))->isEnabled());
    QCOMPARE(sim.calls().filter(QRegularExpression("Clear|Write")), QStringList());
}

// An update writes only the parts that differ, so the images of current
// parts may be missing without stopping it.
void TestImages::currentPartsNeedNoImage()
{
    Sim sim;
    sim.setDescription(Sim::usbInstrument(1, 1234, 4, 5, 10));
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(QFile::remove(sim.imagePath("kd740b_boot_4.img")));
    QVERIFY(QFile::remove(sim.imagePath("kd740b_run_5.img")));

    const QStringList transcript = runWorkflow(sim, driver, updateButton);
    QCOMPARE(transcript,
             titleOf(Workflow::Update)
                 + QStringList({ "Skipping boot Fx3, already current version.",
                                 "Skipping run Fx3, already current version.", "Updating FPGA, estimated 6 minutes." })
                 + successBlockOf(sim));
    QCOMPARE(sim.field(0, "fpga"), QStringLiteral("12"));
}

void TestImages::modelOutsideKnownRange_data()
{
    QTest::addColumn<Workflow>("workflow");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<bool>("downgrade");

    // The shipped versions of an unknown model read as 0.0.0, so any part
    // the instrument has counts as newer.
    QTest::newRow("update") << Workflow::Update << Sim::usbInstrument(7, 1234, 4, 5, 10) << true;
    QTest::newRow("update model -1") << Workflow::Update << Sim::usbInstrument(-1, 1234, 4, 5, 10) << true;
    QTest::newRow("restore") << Workflow::Restore << Sim::usbInstrument(9, 1234, 4, Sim::Erased, 12, "boot") << false;
}

// The library may report a model the catalogue does not know; there are no
// images for it, so the check refuses at once: nothing is offered, nothing
// asked, nothing touched.
void TestImages::modelOutsideKnownRange()
{
    QFETCH(QString, instrument);
    QFETCH(bool, downgrade);

    Sim sim;
    sim.setDescription(instrument);
    const QStringList partsBefore = parts(sim);
    PanelDriver driver;
    sim.clearTrace();
    driver.click(checkButton);

    const QStringList lines = driver.transcript(PanelDriver::introductionLines);
    QStringList refused = checkRefusal("No firmware image for this device type.") + recordLine;
    refused.first().prepend("[red] ");
    QCOMPARE(lines.mid(lines.size() - refused.size()), refused);
    QCOMPARE(lines.contains("Firmware requires update.") || lines.contains("Firmware can now be restored."), false);
    QVERIFY(!downgrade || !lines.contains("Cancelling operation."));
    QCOMPARE(sim.calls().filter(QRegularExpression("Clear|Write|Bootstrap")), QStringList());
    QCOMPARE(parts(sim), partsBefore);
    QVERIFY(onlyLogEnabled(driver));
}

void TestImages::damagedBootImage_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("image");
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("problem");

    const QString notShipped = "Firmware image is not the one shipped: ./firmware/";
    const std::tuple<const char *, Damage, QString> kinds[] = {
        { "all zeros", Damage::Zeros, notShipped },
        { "truncated", Damage::Short, notShipped },
        { "one byte more", Damage::Longer, notShipped },
        { "another model's", Damage::Other, notShipped },
        { "sparse 2 GiB", Damage::Sparse, notShipped },
        { "no signature", Damage::Unsigned, "Firmware images are not signed: no SHA256SUMS.minisig in ./firmware" },
        { "list changed after signing", Damage::ListChanged,
          "Firmware images are not signed by a trusted key: ./firmware" },
    };
    for (const auto &[name, how, problem] : kinds) {
        const auto line = [&, problem = problem](const QString &image) {
            return problem == notShipped ? problem + image : problem;
        };
        QTest::addRow("USB %s", name) << Sim::usbInstrument(1, 6009, Sim::Erased, 5, 12, "silent")
                                      << "kd740b_boot_4.img" << how << line("kd740b_boot_4.img");
        QTest::addRow("net %s", name) << Sim::netInstrument(6010, Sim::Erased, 3, "silent") << "kd740c_fx3_v5.img"
                                      << how << line("kd740c_fx3_v5.img");
    }
}

// The bootstrap loads the boot image into the instrument: one that is not
// the shipped one, or from a folder no trusted key signed, is refused before
// the call.
void TestImages::damagedBootImage()
{
    QFETCH(QString, instrument);
    QFETCH(QString, image);
    QFETCH(Damage, damage);
    QFETCH(QString, problem);
    if (const QString why = missingDamage(damage); !why.isEmpty())
        QSKIP(qPrintable(why));

    Sim sim;
    sim.setDescription(instrument);
    const QStringList partsBefore = parts(sim);
    ::damage(sim.imagePath(image), damage);
    PanelDriver driver;
    // A folder no trusted key signed is refused before the instrument is looked for.
    const bool folderRefused = problem.startsWith("Firmware images are not signed");
    if (!folderRefused)
        chooseModelWhenAsked(image.left(6).toUpper());
    sim.clearTrace();
    driver.click(checkButton);

    const QStringList lines = driver.transcript(PanelDriver::introductionLines);
    // The check's refusal: a check's end, not a failed write.
    QStringList refused = checkRefusal(wholeFolder(problem, sim));
    refused.first().prepend("[red] ");
    if (folderRefused) {
        QCOMPARE(lines, QStringList({ "", "Checking Firmware Versions...", "" }) + refused + recordLine);
        QCOMPARE(sim.calls(), QStringList());
    } else {
        QCOMPARE(QStringList(lines.mid(lines.indexOf("Looking to bootstrap KD740.") + 1, refused.size())), refused);
    }
    QCOMPARE(sim.calls().filter("Bootstrap"), QStringList());
    QCOMPARE(parts(sim), partsBefore);
}

QTEST_MAIN(TestImages)
#include "tst_update_images.moc"
