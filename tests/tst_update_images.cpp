// Before an update or a restore erases anything it makes sure that every
// image it is going to write can be read, so that no part is left erased for
// want of its image. Driven through the real window against the simulated
// instrument, for both workflows.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"

#include "ui/Updater.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <sys/fsuid.h>
#include <unistd.h>

using Sim = SimulatedInstrument;

namespace {

const QStringList failureBlock = { "[red] Firmware updated unsuccessfully.",
                                   "Check device connections and re-run the software.",
                                   "If problem persists, contact Corvane.", "You may now close the software." };
const QStringList successBlock = { "[green] Firmware updated successfully.", "You may now close the software." };

enum class Workflow { Update, Restore };
enum class Damage { Missing, Empty, Unreadable, Directory };

// Instruments for which each sequence writes every part it has.
const QString updateUsb = Sim::usbInstrument(0, 2001, 3, 4, 8);
const QString updateNet = Sim::netInstrument(5678, 4, 2);
const QString restoreUsb = Sim::usbInstrument(0, 2001, 4, Sim::Erased, 9, "boot");
const QString restoreNet = Sim::netInstrument(5678, 5, 3, "fpga-failed");

QString buttonOf(Workflow workflow)
{
    return workflow == Workflow::Update ? QStringLiteral("  Update  ") : QStringLiteral("  Restore  ");
}

QStringList titleOf(Workflow workflow)
{
    return { "", workflow == Workflow::Update ? "Updating Firmware" : "Restoring Device", "" };
}

QStringList parts(const Sim &sim)
{
    QStringList result;
    for (const char *key : { "boot", "run", "fpga" })
        result << QLatin1String(key) + QLatin1Char(' ') + sim.field(0, QLatin1String(key));
    return result;
}

// Runs the check as the user would, so that the workflow's button is enabled.
void check(PanelDriver &driver, Workflow workflow, bool downgrade = false)
{
    if (downgrade) {
        onNextModal("QMessageBox", [](QWidget *box) {
            clickInWindow(qobject_cast<QPushButton *>(qobject_cast<QMessageBox *>(box)->button(QMessageBox::Yes)));
        });
    }
    driver.click(QStringLiteral("  Check Versions  "));
    QVERIFY2(driver.button(buttonOf(workflow))->isEnabled(), qPrintable(driver.transcript(13).join(QLatin1Char('\n'))));
}

void damage(const QString &path, Damage how)
{
    switch (how) {
    case Damage::Missing: QVERIFY(QFile::remove(path)); break;
    case Damage::Empty: {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        break;
    }
    case Damage::Unreadable: QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions())); break;
    case Damage::Directory:
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        break;
    }
}

// Root reads a file whatever its mode. While this lives, the files touched by
// this thread, and by the threads it starts, are accessed as an unprivileged
// user would access them; the scratch directory is opened to that user so
// that it still reaches the other images, the description and the trace.
class UnprivilegedFileAccess
{
public:
    explicit UnprivilegedFileAccess(const Sim &sim)
    {
        if (geteuid() != 0)
            return;
        const auto browse = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        const auto writable = browse | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        QFile::setPermissions(sim.dir(), writable);
        QFile::setPermissions(sim.imagePath(QString()), browse);
        setfsuid(nobody);
        changed = setfsuid(nobody) == int(nobody);
    }
    ~UnprivilegedFileAccess()
    {
        if (changed)
            setfsuid(0);
    }
    UnprivilegedFileAccess(const UnprivilegedFileAccess &) = delete;
    UnprivilegedFileAccess &operator=(const UnprivilegedFileAccess &) = delete;

    static bool canRead(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly);
    }

private:
    static constexpr uid_t nobody = 65534;
    bool changed = false;
};

} // namespace

Q_DECLARE_METATYPE(Workflow)
Q_DECLARE_METATYPE(Damage)

class TestImages : public QObject
{
    Q_OBJECT

private slots:
    void unusableImage_data();
    void unusableImage();
    void firstUnusableImageInWriteOrder_data();
    void firstUnusableImageInWriteOrder();
    void currentPartsNeedNoImage();
    void modelOutsideKnownRange_data();
    void modelOutsideKnownRange();
};

void TestImages::unusableImage_data()
{
    QTest::addColumn<Workflow>("workflow");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("image");
    QTest::addColumn<Damage>("damage");

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
    } damages[] = {
        { "missing", Damage::Missing },
        { "empty", Damage::Empty },
        { "unreadable", Damage::Unreadable },
        { "directory", Damage::Directory },
    };
    for (const auto &sequence : sequences) {
        for (const QString &image : sequence.images) {
            for (const auto &how : damages) {
                QTest::addRow("%s %s %s", sequence.name, qPrintable(image), how.name)
                    << sequence.workflow << sequence.instrument << image << how.damage;
            }
        }
    }
}

// Nothing is erased, and the instrument is not even opened.
void TestImages::unusableImage()
{
    QFETCH(Workflow, workflow);
    QFETCH(QString, instrument);
    QFETCH(QString, image);
    QFETCH(Damage, damage);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    check(driver, workflow);
    if (QTest::currentTestFailed())
        return;
    const QStringList partsBefore = parts(sim);
    ::damage(sim.imagePath(image), damage);
    if (QTest::currentTestFailed())
        return;

    sim.clearTrace();
    const int start = driver.lines().size();
    {
        const UnprivilegedFileAccess access(sim);
        if (damage == Damage::Unreadable && access.canRead(sim.imagePath(image)))
            QSKIP("this process reads files whatever their mode");
        driver.click(buttonOf(workflow));
    }

    QCOMPARE(driver.transcript(start),
             titleOf(workflow) + QStringList("Firmware image not found: ./firmware/" + image) + failureBlock);
    QCOMPARE(sim.calls(), QStringList());
    QCOMPARE(parts(sim), partsBefore);
    QVERIFY(!driver.panel()->isEnabled());
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
    PanelDriver driver;
    check(driver, workflow);
    if (QTest::currentTestFailed())
        return;
    for (const QString &image : missing)
        QVERIFY(QFile::remove(sim.imagePath(image)));

    sim.clearTrace();
    const int start = driver.lines().size();
    driver.click(buttonOf(workflow));

    QCOMPARE(driver.transcript(start),
             titleOf(workflow) + QStringList("Firmware image not found: ./firmware/" + reported) + failureBlock);
    QCOMPARE(sim.calls(), QStringList());
}

// An update writes only the parts that differ, so the images of current
// parts may be missing without stopping it.
void TestImages::currentPartsNeedNoImage()
{
    Sim sim;
    sim.setDescription(Sim::usbInstrument(1, 1234, 4, 5, 10));
    PanelDriver driver;
    check(driver, Workflow::Update);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(QFile::remove(sim.imagePath("kd740b_boot_4.img")));
    QVERIFY(QFile::remove(sim.imagePath("kd740b_run_5.img")));

    const int start = driver.lines().size();
    driver.click(buttonOf(Workflow::Update));

    QCOMPARE(driver.transcript(start),
             titleOf(Workflow::Update)
                 + QStringList({ "Skipping boot Fx3, already current version.",
                                 "Skipping run Fx3, already current version.", "Updating FPGA, estimated 6 minutes." })
                 + successBlock);
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
// images for it, so nothing may be touched.
void TestImages::modelOutsideKnownRange()
{
    QFETCH(Workflow, workflow);
    QFETCH(QString, instrument);
    QFETCH(bool, downgrade);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    check(driver, workflow, downgrade);
    if (QTest::currentTestFailed())
        return;
    const QStringList partsBefore = parts(sim);

    sim.clearTrace();
    const int start = driver.lines().size();
    driver.click(buttonOf(workflow));

    QCOMPARE(driver.transcript(start),
             titleOf(workflow) + QStringList("No firmware image for this device type.") + failureBlock);
    QCOMPARE(sim.calls(), QStringList());
    QCOMPARE(parts(sim), partsBefore);
    QVERIFY(!driver.panel()->isEnabled());
}

QTEST_MAIN(TestImages)
#include "tst_update_images.moc"
