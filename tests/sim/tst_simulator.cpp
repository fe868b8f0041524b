#include "device/kd_api.h"

#include "ExportedNames.h"
#include "FileAccess.h"
#include "FirmwareImage.h"
#include "SimulatedInstrument.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

using Sim = SimulatedInstrument;

namespace {

enum class Write { UsbBoot, UsbRun, UsbFpga, NetFx3, NetFpga };

const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10);

QString makeImage(const Sim &sim, int model, kdsim::Part part, int version)
{
    QString path = QDir(sim.dir()).filePath(QStringLiteral("made_%1_%2_%3.img").arg(model).arg(int(part)).arg(version));
    std::string error;
    if (!kdsim::writeImage(path.toStdString(), { model, part, version }, &error))
        qWarning("%s", error.c_str());
    return path;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int openUsbConfig(int serial = 1234)
{
    int handle = -1;
    return kdConfigUSBOpenDeviceBySerial(&handle, serial) == KD_INIT_OK ? handle : -1;
}

int openNet(int serial)
{
    int handle = -1;
    return kdConfigNetOpenDevice(&handle, serial) == KD_OK ? handle : -1;
}

int write(Write target, int handle, const char *image, int serial = 1234)
{
    double progress = 0;
    switch (target) {
    case Write::UsbBoot: return kdConfigUSBWriteBootSector(handle, image, serial);
    case Write::UsbRun: return kdConfigUSBWriteRunSector(handle, image, serial);
    case Write::UsbFpga: return kdConfigUSBWriteFPGAProgram(handle, image, progress);
    case Write::NetFx3: return kdConfigNetWriteFx3(handle, image, serial);
    case Write::NetFpga: return kdConfigNetWriteFGPA(handle, image);
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Write)
Q_DECLARE_METATYPE(kdsim::Part)

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void exportsOnlyTheApi();
    void connectedInstruments_data();
    void connectedInstruments();
    void faultOnNthUse_data();
    void faultOnNthUse();
    void failedCallHasNoEffect_data();
    void failedCallHasNoEffect();
    void writeRefusesBadImages_data();
    void writeRefusesBadImages();
    void writeSetsPartVersion_data();
    void writeSetsPartVersion();
    void clearChangesState_data();
    void clearChangesState();
    void erasedRunOpensInBootMode();
    void stateSurvivesRestart();
    void deviceListRespectsRoom_data();
    void deviceListRespectsRoom();
    void netFpgaStatus_data();
    void netFpgaStatus();
    void vanishInTheMiddleOfFpgaWrite();
    void bootstrap_data();
    void bootstrap();
    void handlesBelongToTheirSession();
    void traceFormat();
    void apiVersionStaysValid();
    void imageDamageIsDetected();
    void mkimageRejectsBadArguments_data();
    void mkimageRejectsBadArguments();
};

void TestSimulator::exportsOnlyTheApi()
{
    QStringList exported;
    QVERIFY(exportedNames(QStringLiteral(KD_API_LIBRARY_FILE), &exported));
    exported.sort();

    QStringList expected {
        "kdGetAPIVersion",
        "kdOpenDevice",
        "kdCloseDevice",
        "kdGetFirmwareVersion",
        "kdGetDeviceInfo",
        "kdConfigUSBOpenDevice",
        "kdConfigUSBOpenDeviceBySerial",
        "kdConfigUSBBootstrapDevice",
        "kdConfigUSBGetDeviceSerial",
        "kdConfigUSBGetDeviceType",
        "kdConfigUSBGetSerialFromFlash",
        "kdConfigUSBClearBootSector",
        "kdConfigUSBWriteBootSector",
        "kdConfigUSBClearRunSector",
        "kdConfigUSBWriteRunSector",
        "kdConfigUSBClearFPGAProgram",
        "kdConfigUSBWriteFPGAProgram",
        "kdConfigUSBCloseDevice",
        "kdConfigNetGetDeviceList",
        "kdConfigNetOpenDevice",
        "kdConfigNetBootstrapDevice",
        "kdConfigNetGetSerialFromFlash",
        "kdConfigNetGetFirmwareVersion",
        "kdConfigNetGetFPGAStatus",
        "kdConfigNetClearFx3",
        "kdConfigNetWriteFx3",
        "kdConfigNetClearFPGA",
        "kdConfigNetWriteFGPA",
        "kdConfigNetPreset",
        "kdConfigNetCloseDevice",
    };
    expected.sort();
    QCOMPARE(exported, expected);
}

// clang-format off
void TestSimulator::connectedInstruments_data()
{
    QTest::addColumn<bool>("useFile");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("expectedFpga"); // -1: nothing opens
    // VARIABLE=KIND: the variable names a folder, a FIFO, the zero device or
    // a file in a missing folder instead.
    QTest::addColumn<QString>("setting");

    QTest::newRow("built-in instrument") << false << QString() << 10 << "";
    QTest::newRow("missing file") << true << QString() << -1 << "";
    QTest::newRow("no instrument block") << true << QStringLiteral("api-version 1\n") << -1 << "";
    QTest::newRow("only keys given") << true << QStringLiteral("instrument\nfpga 12\n") << 12 << "";
    QTest::newRow("bad lines ignored")
            << true << QStringLiteral("colour red\ninstrument # the bench one\n model x\n  fpga 12\nstate odd\n")
            << 12 << "";
    QTest::newRow("description is a folder") << true << QString() << -1 << "KDSIM_DEVICE=folder";
    QTest::newRow("description is a FIFO") << true << QString() << -1 << "KDSIM_DEVICE=fifo";
    QTest::newRow("description is /dev/zero") << true << QString() << -1 << "KDSIM_DEVICE=zero";
    QTest::newRow("trace is a folder") << true << QString() << -1 << "KDSIM_TRACE=folder";
    QTest::newRow("trace is a FIFO") << true << QString() << -1 << "KDSIM_TRACE=fifo";
    QTest::newRow("trace is /dev/zero") << true << QString() << -1 << "KDSIM_TRACE=zero";
    QTest::newRow("trace in a missing folder") << true << QString() << -1 << "KDSIM_TRACE=missing";
}
// clang-format on

void TestSimulator::connectedInstruments()
{
    QFETCH(bool, useFile);
    QFETCH(QString, description);
    QFETCH(int, expectedFpga);
    QFETCH(QString, setting);

    Sim sim;
    if (!useFile)
        qunsetenv("KDSIM_DEVICE");
    else if (!description.isEmpty())
        sim.setDescription(description);
    if (!setting.isEmpty()) {
        const QString kind = setting.section('=', 1);
        QString path = QDir(sim.dir()).filePath(kind == "missing" ? "missing/trace.txt" : kind);
        if (kind == "zero")
            path = QStringLiteral("/dev/zero");
        else if (kind == "folder")
            QVERIFY(QDir(sim.dir()).mkdir(kind));
        else if (kind == "fifo"
                 && !(QFile(path).open(QIODevice::WriteOnly) && replaceWithSpecialFile(path, SpecialFile::Fifo)))
            QSKIP(qPrintable(missingSpecialFile(SpecialFile::Fifo)));
        if (kind == "zero" && !QFileInfo::exists(path))
            QSKIP("no /dev/zero here");
        qputenv(qPrintable(setting.section('=', 0, 0)), QFile::encodeName(path));
    }

    int handle = -1;
    QCOMPARE(kdOpenDevice(&handle) == 0, expectedFpga >= 0);
    if (expectedFpga < 0) {
        QCOMPARE(handle, -1);
        return;
    }
    int boot = 0, run = 0, fpga = 0, model = 0, serial = 0;
    QCOMPARE(kdGetFirmwareVersion(handle, &boot, &run, &fpga), 0);
    QCOMPARE(kdGetDeviceInfo(handle, &model, &serial), 0);
    QCOMPARE(QList<int>({ boot, run, fpga, model, serial }), QList<int>({ 4, 5, expectedFpga, 1, 1234 }));
    QCOMPARE(kdCloseDevice(handle), 0);
}

// clang-format off
void TestSimulator::faultOnNthUse_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<QString>("answered"); // y or n for each use

    const QString lost = QStringLiteral("lost kdGetFirmwareVersion");
    QTest::newRow("fail every use") << Sim::fail("kdGetFirmwareVersion") << QList<int> { 1, 1, 1 } << "nnn";
    QTest::newRow("fail second use") << Sim::fail("kdGetFirmwareVersion", 2) << QList<int> { 0, 1, 0 } << "yny";
    QTest::newRow("uses counted per call") << Sim::fail("kdGetFirmwareVersion", 1) << QList<int> { 1, 0, 0 } << "nyy";
    QTest::newRow("badstatus every use") << Sim::badStatus("kdGetFirmwareVersion") << QList<int> { 1, 1, 1 } << "yyy";
    QTest::newRow("badstatus third use") << Sim::badStatus("kdGetFirmwareVersion", 3) << QList<int> { 0, 0, 1 } << "yyy";
    QTest::newRow("lost every use") << lost + "\n" << QList<int> { 0, 0, 0 } << "nnn";
    QTest::newRow("lost second use") << lost + " 2\n" << QList<int> { 0, 0, 0 } << "yny";
    QTest::newRow("fail beats lost") << lost + "\n" + Sim::fail("kdGetFirmwareVersion", 3) << QList<int> { 0, 0, 1 } << "nnn";
    QTest::newRow("lost beats badstatus") << Sim::badStatus("kdGetFirmwareVersion") + lost + " 1\n" << QList<int> { 0, 1, 1 } << "nyy";
    QTest::newRow("other call") << Sim::fail("kdGetDeviceInfo") << QList<int> { 0, 0, 0 } << "yyy";
    QTest::newRow("unknown call ignored") << Sim::fail("kdGetFirmware") << QList<int> { 0, 0, 0 } << "yyy";
}
// clang-format on

void TestSimulator::faultOnNthUse()
{
    QFETCH(QString, fault);
    QFETCH(QList<int>, statuses);
    QFETCH(QString, answered);

    Sim sim;
    sim.setDescription(kdB + fault);
    int handle = -1;
    QCOMPARE(kdOpenDevice(&handle), 0);
    for (int use = 0; use < statuses.size(); ++use) {
        int boot = -7, run = -7, fpga = -7;
        QCOMPARE(kdGetFirmwareVersion(handle, &boot, &run, &fpga), statuses.at(use));
        const QList<int> untouched { -7, -7, -7 };
        QCOMPARE(QList<int>({ boot, run, fpga }), answered.at(use) == 'y' ? QList<int>({ 4, 5, 10 }) : untouched);
    }
}

// clang-format off
void TestSimulator::failedCallHasNoEffect_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("run");

    QTest::newRow("fail") << Sim::fail("kdConfigUSBClearRunSector") << 1 << "5";
    QTest::newRow("badstatus still erases") << Sim::badStatus("kdConfigUSBClearRunSector") << 1 << "erased";
    QTest::newRow("no fault") << QString() << 0 << "erased";
    QTest::newRow("lost clear") << "lost kdConfigUSBClearRunSector\n" << 0 << "5";
    QTest::newRow("lost write") << "lost kdConfigUSBWriteRunSector\n" << 0 << "5";
}
// clang-format on

void TestSimulator::failedCallHasNoEffect()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(QString, run);

    Sim sim;
    sim.setDescription(kdB + fault);
    const int handle = openUsbConfig();
    const QByteArray image = makeImage(sim, 1, kdsim::Part::Run, 7).toLocal8Bit();
    const bool writes = fault.contains("Write");
    QCOMPARE(writes ? int(kdConfigUSBWriteRunSector(handle, image.constData(), 1234))
                    : int(kdConfigUSBClearRunSector(handle)),
             status);
    QCOMPARE(sim.field(0, "run"), run);
    QCOMPARE(sim.field(0, "state"), QString(run == "erased" ? "boot" : "normal"));
}

// clang-format off
void TestSimulator::writeRefusesBadImages_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("run");

    QTest::newRow("good") << "good" << 0 << "7";
    QTest::newRow("shipped") << "shipped" << 0 << "5";
    QTest::newRow("wrong model") << "wrong model" << 1 << "4";
    QTest::newRow("wrong part") << "wrong part" << 1 << "4";
    QTest::newRow("corrupt") << "corrupt" << 1 << "4";
    QTest::newRow("truncated") << "truncated" << 1 << "4";
    QTest::newRow("empty") << "empty" << 1 << "4";
    QTest::newRow("missing") << "missing" << 1 << "4";
    QTest::newRow("directory") << "directory" << 1 << "4";
    QTest::newRow("null") << "null" << 1 << "4";
}
// clang-format on

void TestSimulator::writeRefusesBadImages()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(QString, run);

    Sim sim;
    sim.setDescription(Sim::usbInstrument(1, 1234, 4, 4, 10));
    QString path = makeImage(sim, 1, kdsim::Part::Run, 7);
    QByteArray bytes = readBytes(path);
    if (kind == "shipped")
        path = "./firmware/kd740b_run_5.img";
    else if (kind == "wrong model")
        path = makeImage(sim, 0, kdsim::Part::Run, 7);
    else if (kind == "wrong part")
        path = makeImage(sim, 1, kdsim::Part::Boot, 7);
    else if (kind == "corrupt")
        bytes[100] = char(bytes[100] ^ 0x10);
    else if (kind == "truncated")
        bytes.chop(10);
    else if (kind == "empty")
        bytes.clear();
    else if (kind == "missing")
        path = "./firmware/kd740b_run_6.img";
    else if (kind == "directory")
        path = "./firmware";
    if (kind == "corrupt" || kind == "truncated" || kind == "empty")
        writeBytes(path, bytes);

    const int handle = openUsbConfig();
    const QByteArray image = path.toLocal8Bit();
    QCOMPARE(int(kdConfigUSBWriteRunSector(handle, kind == "null" ? nullptr : image.constData(), 1234)), status);
    QCOMPARE(sim.field(0, "run"), run);
    QCOMPARE(sim.field(0, "state"), QStringLiteral("normal"));
}

// clang-format off
void TestSimulator::writeSetsPartVersion_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<Write>("target");
    QTest::addColumn<kdsim::Part>("part");
    QTest::addColumn<QString>("key");

    const QString kdC = Sim::netInstrument(5001, 4, 2);
    QTest::newRow("usb boot") << kdB << Write::UsbBoot << kdsim::Part::Boot << "boot";
    QTest::newRow("usb run") << kdB << Write::UsbRun << kdsim::Part::Run << "run";
    QTest::newRow("usb fpga") << kdB << Write::UsbFpga << kdsim::Part::Fpga << "fpga";
    QTest::newRow("net fx3") << kdC << Write::NetFx3 << kdsim::Part::Fx3 << "boot";
    QTest::newRow("net fpga") << kdC << Write::NetFpga << kdsim::Part::Fpga << "fpga";
    const QString cycled = QStringLiteral("  power-cycle-after-write yes\n");
    QTest::newRow("usb fpga, power cycled") << kdB + cycled << Write::UsbFpga << kdsim::Part::Fpga << "fpga";
    QTest::newRow("net fx3, power cycled") << kdC + cycled << Write::NetFx3 << kdsim::Part::Fx3 << "boot";
}
// clang-format on

void TestSimulator::writeSetsPartVersion()
{
    QFETCH(QString, description);
    QFETCH(Write, target);
    QFETCH(kdsim::Part, part);
    QFETCH(QString, key);

    Sim sim;
    sim.setDescription(description);
    const bool net = target == Write::NetFx3 || target == Write::NetFpga;
    const int model = net ? 2 : 1;
    const int serial = net ? 5001 : 1234;
    const int handle = net ? openNet(serial) : openUsbConfig(serial);
    QCOMPARE(handle, 100);

    const QByteArray other = makeImage(sim, model, part, 21).toLocal8Bit();
    QCOMPARE(write(target, handle, other.constData(), serial), 0);
    QCOMPARE(sim.field(0, key), QStringLiteral("21"));
    QCOMPARE(sim.field(0, "state"), QStringLiteral("normal"));
    QCOMPARE(sim.field(0, "serial"), QString::number(serial));

    // Only the boot programs carry the serial.
    const bool carriesSerial = target != Write::UsbFpga && target != Write::NetFpga;
    QCOMPARE(write(target, handle, other.constData(), 777), 0);
    QCOMPARE(sim.field(0, "serial"), QString::number(carriesSerial ? 777 : serial));
    if (!description.contains("power-cycle-after-write yes"))
        return;

    // Let go of after its writes, it restarts and answers nothing until its
    // power is cycled, which the file's write-back must not forget.
    QCOMPARE(net ? int(kdConfigNetPreset(handle)) : int(kdConfigUSBCloseDevice(handle)), 0);
    QCOMPARE(sim.field(0, "awaiting-power-cycle"), QStringLiteral("yes"));
    QCOMPARE(sim.field(0, "power-cycle-after-write"), QStringLiteral("yes"));
    const int now = sim.field(0, "serial").toInt();
    int device = -1, boot = 0, run = 0, version = 0;
    QVERIFY(net ? openNet(now) < 0 : kdOpenDevice(&device) != 0);
    sim.setDescription(sim.description().remove("  awaiting-power-cycle yes\n"));
    if (net) {
        QCOMPARE(kdConfigNetGetFirmwareVersion(openNet(now), &version), KD_OK);
    } else {
        QCOMPARE(kdOpenDevice(&device), 0);
        QCOMPARE(kdGetFirmwareVersion(device, &boot, &run, &version), 0);
    }
    QCOMPARE(version, 21);
}

// clang-format off
void TestSimulator::clearChangesState_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("state");

    const QString kdC = Sim::netInstrument(5001, 5, 3);
    QTest::newRow("usb boot") << kdB << "kdConfigUSBClearBootSector" << "silent";
    QTest::newRow("usb run") << kdB << "kdConfigUSBClearRunSector" << "boot";
    QTest::newRow("usb fpga") << kdB << "kdConfigUSBClearFPGAProgram" << "boot";
    QTest::newRow("net fx3") << kdC << "kdConfigNetClearFx3" << "silent";
    QTest::newRow("net fpga") << kdC << "kdConfigNetClearFPGA" << "fpga-failed";
}
// clang-format on

void TestSimulator::clearChangesState()
{
    QFETCH(QString, description);
    QFETCH(QString, call);
    QFETCH(QString, state);

    Sim sim;
    sim.setDescription(description);
    double progress = 0;
    if (call.startsWith("kdConfigNet")) {
        const int handle = openNet(5001);
        QCOMPARE(call == "kdConfigNetClearFx3" ? kdConfigNetClearFx3(handle) : kdConfigNetClearFPGA(handle), 0);
        // The handle outlives the state change.
        int serial = 0;
        QCOMPARE(kdConfigNetGetSerialFromFlash(handle, &serial), 0);
    } else {
        const int handle = openUsbConfig();
        const int status = call == "kdConfigUSBClearBootSector" ? kdConfigUSBClearBootSector(handle)
            : call == "kdConfigUSBClearRunSector"               ? kdConfigUSBClearRunSector(handle)
                                                                : kdConfigUSBClearFPGAProgram(handle, progress);
        QCOMPARE(status, 0);
    }
    QCOMPARE(sim.field(0, "state"), state);
}

void TestSimulator::erasedRunOpensInBootMode()
{
    Sim sim;
    sim.setDescription(Sim::usbInstrument(1, 1234, 4, Sim::Erased, 10));
    int handle = -1;
    QVERIFY(kdOpenDevice(&handle) != 0);
    QCOMPARE(handle, -1);
    QCOMPARE(kdConfigUSBOpenDevice(&handle), KD_INIT_OK);
    QCOMPARE(handle, 100);
    QCOMPARE(sim.field(0, "state"), QStringLiteral("boot"));

    QCOMPARE(kdConfigUSBWriteRunSector(handle, "./firmware/kd740b_run_5.img", 1234), KD_INIT_OK);
    QCOMPARE(kdConfigUSBCloseDevice(handle), KD_INIT_OK);
    QCOMPARE(kdOpenDevice(&handle), 0);
}

void TestSimulator::stateSurvivesRestart()
{
    Sim sim;
    sim.setDescription(kdB + Sim::fail("kdConfigNetPreset") + Sim::vanishAfter(40) + "lost kdConfigNetPreset 3\n");
    int handle = openUsbConfig();
    double progress = 0;
    QCOMPARE(kdConfigUSBClearFPGAProgram(handle, progress), KD_INIT_OK);
    QCOMPARE(kdConfigUSBWriteFPGAProgram(handle, "./firmware/kd740b_fpga_12.rbf", progress), KD_INIT_OK);
    QCOMPARE(progress, 100.0);
    QVERIFY(sim.description().contains("fail kdConfigNetPreset\n"));
    QVERIFY(sim.description().contains("vanish-after 40\n"));
    QVERIFY(sim.description().contains("lost kdConfigNetPreset 3\n"));

    // Another instrument file, then back: a fresh start on the same bench.
    const QByteArray path = qgetenv("KDSIM_DEVICE");
    qputenv("KDSIM_DEVICE", QFile::encodeName(QDir(sim.dir()).filePath("elsewhere.txt")));
    QVERIFY(kdOpenDevice(&handle) != 0);
    qputenv("KDSIM_DEVICE", path);

    int boot = 0, run = 0, fpga = 0;
    QVERIFY(kdGetFirmwareVersion(100, &boot, &run, &fpga) != 0); // handles do not survive
    QCOMPARE(kdOpenDevice(&handle), 0);
    QCOMPARE(kdGetFirmwareVersion(handle, &boot, &run, &fpga), 0);
    QCOMPARE(fpga, 12);
}

// clang-format off
void TestSimulator::deviceListRespectsRoom_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("room");
    QTest::addColumn<QList<int>>("listed");

    const QString one = Sim::netInstrument(5001, 5, 3);
    const QString two = one + Sim::netInstrument(5002, 5, Sim::Erased);
    const QString ignored = kdB + Sim::netInstrument(5009, Sim::Erased, 3);
    QTest::newRow("none") << QString(kdB) << 2 << QList<int> {};
    QTest::newRow("one, no room") << one << 0 << QList<int> { 5001 };
    QTest::newRow("one, room 1") << one << 1 << QList<int> { 5001 };
    QTest::newRow("two, room 1") << two << 1 << QList<int> { 5001, 5002 };
    QTest::newRow("two, room 2") << two << 2 << QList<int> { 5001, 5002 };
    QTest::newRow("two, room 3") << two << 3 << QList<int> { 5001, 5002 };
    QTest::newRow("usb and silent not listed") << ignored + two << 3 << QList<int> { 5001, 5002 };
}
// clang-format on

void TestSimulator::deviceListRespectsRoom()
{
    QFETCH(QString, description);
    QFETCH(int, room);
    QFETCH(QList<int>, listed);

    Sim sim;
    sim.setDescription(description);
    const int guard = 0x5A5A5A5A;
    QVector<int> cells(room + 2, guard);
    int count = room;
    QCOMPARE(kdConfigNetGetDeviceList(cells.data() + 1, &count), KD_OK);
    QCOMPARE(count, listed.size());
    for (int i = 0; i < room; ++i)
        QCOMPARE(cells.at(i + 1), i < listed.size() ? listed.at(i) : guard);
    QCOMPARE(cells.first(), guard);
    QCOMPARE(cells.last(), guard);
}

// clang-format off
void TestSimulator::netFpgaStatus_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("fx3");

    QTest::newRow("normal") << Sim::netInstrument(5001, 5, 3) << 1 << 5;
    QTest::newRow("fpga-failed") << Sim::netInstrument(5001, 5, 3, "fpga-failed") << 2 << 5;
    QTest::newRow("fpga erased") << Sim::netInstrument(5001, 5, Sim::Erased) << 2 << 5;
    QTest::newRow("boot") << Sim::netInstrument(5001, 6, 3, "boot") << 1 << 6;
    QTest::newRow("boot, fpga erased") << Sim::netInstrument(5001, 6, Sim::Erased, "boot") << 2 << 6;
}
// clang-format on

void TestSimulator::netFpgaStatus()
{
    QFETCH(QString, description);
    QFETCH(int, status);
    QFETCH(int, fx3);

    Sim sim;
    sim.setDescription(description);
    const int handle = openNet(5001);
    int reported = 0, version = 0;
    QCOMPARE(kdConfigNetGetFPGAStatus(handle, &reported), KD_OK);
    QCOMPARE(kdConfigNetGetFirmwareVersion(handle, &version), KD_OK);
    QCOMPARE(reported, status);
    QCOMPARE(version, fx3);

    // A restart settles the state on what the parts allow.
    QCOMPARE(kdConfigNetPreset(handle), KD_OK);
    QCOMPARE(sim.field(0, "state"), QString(status == 1 ? "normal" : "fpga-failed"));
}

void TestSimulator::vanishInTheMiddleOfFpgaWrite()
{
    Sim sim;
    sim.setDescription(kdB + Sim::vanishAfter(3));
    kdGetAPIVersion(); // not counted
    const int handle = openUsbConfig();
    double progress = 0;
    int serial = 0;
    QCOMPARE(kdConfigUSBClearFPGAProgram(handle, progress), KD_INIT_OK);
    QCOMPARE(kdConfigUSBGetDeviceSerial(handle, &serial), KD_INIT_OK);
    QCOMPARE(kdConfigUSBWriteFPGAProgram(handle, "./firmware/kd740b_fpga_12.rbf", progress), KD_INIT_ERROR);
    QCOMPARE(sim.field(0, "fpga"), QStringLiteral("erased"));

    int serials[2] = { 0, 0 };
    int count = 2;
    QVERIFY(kdConfigNetGetDeviceList(serials, &count) != KD_OK);
    QCOMPARE(count, 0);
    QVERIFY(kdConfigUSBGetDeviceSerial(handle, &serial) != KD_INIT_OK);
    QVERIFY(kdConfigUSBCloseDevice(handle) != KD_INIT_OK);

    sim.restart();
    int reopened = -1;
    QVERIFY(kdOpenDevice(&reopened) != 0);
    QCOMPARE(kdConfigUSBOpenDevice(&reopened), KD_INIT_OK);
    QCOMPARE(kdConfigUSBWriteFPGAProgram(reopened, "./firmware/kd740b_fpga_12.rbf", progress), KD_INIT_OK);
    QCOMPARE(sim.field(0, "state"), QStringLiteral("normal"));
}

// clang-format off
void TestSimulator::bootstrap_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("net");
    QTest::addColumn<QString>("image");
    QTest::addColumn<int>("handle"); // -1: refused

    const QString silentB = Sim::usbInstrument(1, 1234, Sim::Erased, 5, 10);
    const QString silentC = Sim::netInstrument(5001, Sim::Erased, 3);
    QTest::newRow("usb") << silentB << false << "kd740b_boot_4.img" << 100;
    QTest::newRow("usb, second instrument") << kdB + silentB << false << "kd740b_boot_4.img" << 101;
    QTest::newRow("usb, explicit silent") << Sim::usbInstrument(0, 9, 4, 5, 9, "silent") << false
                                          << "kd740a_boot_4.img" << 100;
    QTest::newRow("usb, other model") << silentB << false << "kd740a_boot_4.img" << -1;
    QTest::newRow("usb, run image") << silentB << false << "kd740b_run_5.img" << -1;
    QTest::newRow("usb, none silent") << kdB << false << "kd740b_boot_4.img" << -1;
    QTest::newRow("usb, only net silent") << silentC << false << "kd740b_boot_4.img" << -1;
    QTest::newRow("net") << silentC << true << "kd740c_fx3_v5.img" << 100;
    QTest::newRow("net, fpga image") << silentC << true << "kd740c_fpga_v3.rbf" << -1;
    QTest::newRow("net, none silent") << Sim::netInstrument(5001, 5, 3) << true << "kd740c_fx3_v5.img" << -1;
}
// clang-format on

void TestSimulator::bootstrap()
{
    QFETCH(QString, description);
    QFETCH(bool, net);
    QFETCH(QString, image);
    QFETCH(int, handle);

    Sim sim;
    sim.setDescription(description);
    const QByteArray path = sim.imagePath(image).toLocal8Bit();
    int opened = -1;
    const int status = net ? int(kdConfigNetBootstrapDevice(&opened, path.constData()))
                           : int(kdConfigUSBBootstrapDevice(&opened, path.constData()));
    QCOMPARE(status == 0, handle >= 0);
    QCOMPARE(opened, handle);
    if (handle < 0)
        return;
    QCOMPARE(sim.field(handle - 100, "state"), QStringLiteral("boot"));
    int serial = 0;
    QCOMPARE(net ? int(kdConfigNetGetSerialFromFlash(opened, &serial))
                 : int(kdConfigUSBGetSerialFromFlash(opened, &serial)),
             0);
}

void TestSimulator::handlesBelongToTheirSession()
{
    Sim sim;
    sim.setDescription(kdB + Sim::usbInstrument(0, 77, 4, 5, 9, "boot"));
    int device = -1, config = -1, again = -1;
    QCOMPARE(kdOpenDevice(&device), 0);
    QCOMPARE(kdConfigUSBOpenDevice(&config), KD_INIT_OK);
    QCOMPARE(QList<int>({ device, config }), QList<int>({ 100, 101 }));
    QVERIFY(kdOpenDevice(&again) != 0); // one session per instrument
    QCOMPARE(again, -1);

    int serial = 0;
    KdDeviceType type = KD_DEVICE_KD740C;
    QVERIFY(kdConfigUSBGetDeviceSerial(device, &serial) != KD_INIT_OK);
    QVERIFY(kdCloseDevice(config) != 0);
    QCOMPARE(kdConfigUSBGetDeviceType(config, &type), KD_INIT_OK);
    QCOMPARE(type, KD_DEVICE_KD740A);
    QCOMPARE(kdCloseDevice(device), 0);
    QVERIFY(kdCloseDevice(device) != 0);
    QVERIFY(kdGetDeviceInfo(device, &serial, &serial) != 0);
    QVERIFY(kdGetDeviceInfo(555, &serial, &serial) != 0);
}

void TestSimulator::traceFormat()
{
    Sim sim;
    sim.setDescription("api-version 3.1.4-sim <bench> & co\n" + kdB + Sim::netInstrument(5001, 5, 3));
    kdGetAPIVersion();
    int handle = -1, boot = 0, run = 0, fpga = 0;
    kdOpenDevice(&handle);
    kdGetFirmwareVersion(handle, &boot, &run, &fpga);
    kdGetDeviceInfo(handle, nullptr, &boot);
    kdCloseDevice(handle);
    handle = -1;
    kdConfigUSBOpenDeviceBySerial(&handle, 1234);
    double progress = 0, other = 0.5;
    kdConfigUSBClearFPGAProgram(handle, progress);
    kdConfigUSBWriteFPGAProgram(handle, "./firmware/kd740b_fpga_12.rbf", progress);
    kdConfigUSBWriteFPGAProgram(handle, "./firmware/no such.rbf", other);
    kdConfigUSBWriteRunSector(handle, nullptr, -1);
    int serials[1];
    int count = 1;
    kdConfigNetGetDeviceList(serials, &count);

    const QStringList expected {
        "kdGetAPIVersion() = \"3.1.4-sim <bench> & co\"",
        "kdOpenDevice(-1) = 0",
        "kdGetFirmwareVersion(100, 0, 0, 0) = 0",
        "kdGetDeviceInfo(100, null, 4) = 1",
        "kdCloseDevice(100) = 0",
        "kdConfigUSBOpenDeviceBySerial(-1, 1234) = 0",
        "kdConfigUSBClearFPGAProgram(100, d1=0) = 0",
        "kdConfigUSBWriteFPGAProgram(100, \"./firmware/kd740b_fpga_12.rbf\", d1=100) = 0",
        "kdConfigUSBWriteFPGAProgram(100, \"./firmware/no such.rbf\", d2=0.5) = 1",
        "kdConfigUSBWriteRunSector(100, null, -1) = 1",
        "kdConfigNetGetDeviceList(1) = 0",
    };
    QCOMPARE(sim.trace(), expected);
    QCOMPARE(sim.calls().first(), QStringLiteral("kdOpenDevice(-1)"));
    QCOMPARE(sim.calls().size(), expected.size() - 1);
}

void TestSimulator::apiVersionStaysValid()
{
    Sim sim;
    sim.setDescription("api-version first\n");
    const char *first = kdGetAPIVersion();
    QCOMPARE(first, "first");
    sim.setDescription("api-version second one\n");
    QCOMPARE(kdGetAPIVersion(), "second one");
    QCOMPARE(first, "first");
    QCOMPARE(kdGetAPIVersion(), kdGetAPIVersion()); // the same storage, not a leak per call
}

void TestSimulator::imageDamageIsDetected()
{
    const kdsim::ImageInfo info { 2, kdsim::Part::Fx3, 5 };
    const std::vector<unsigned char> good = kdsim::buildImage(info);
    QCOMPARE(good, kdsim::buildImage(info));
    QVERIFY(good != kdsim::buildImage({ 2, kdsim::Part::Fx3, 6 }));

    kdsim::ImageInfo read;
    std::string error;
    QVERIFY(kdsim::parseImage(good, &read, &error));
    QCOMPARE(QList<int>({ read.model, int(read.part), read.version }), QList<int>({ 2, 4, 5 }));
    for (std::size_t at = 0; at < good.size(); at += 97) {
        std::vector<unsigned char> damaged = good;
        damaged[at] ^= 0x01;
        QVERIFY2(!kdsim::parseImage(damaged, &read, &error), qPrintable(QString::number(at)));
        QVERIFY(!error.empty());
    }
}

// clang-format off
void TestSimulator::mkimageRejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");

    QTest::newRow("good") << QStringList { "1", "run", "9", "out.img" } << true;
    QTest::newRow("model by name") << QStringList { "KD740B", "run", "9", "out.img" } << true;
    QTest::newRow("model by name, lower case") << QStringList { "kd740b", "run", "9", "out.img" } << true;
    QTest::newRow("model name without its letter") << QStringList { "KD740", "run", "9", "out.img" } << false;
    QTest::newRow("shipped") << QStringList { "--shipped", "shipped" } << true;
    QTest::newRow("none") << QStringList {} << false;
    QTest::newRow("unknown part") << QStringList { "1", "flash", "9", "out.img" } << false;
    QTest::newRow("bad model") << QStringList { "b", "run", "9", "out.img" } << false;
    QTest::newRow("bad version") << QStringList { "1", "run", "9x", "out.img" } << false;
    QTest::newRow("too many") << QStringList { "1", "run", "9", "out.img", "more" } << false;
    QTest::newRow("unwritable") << QStringList { "1", "run", "9", "no/such/dir/out.img" } << false;
}
// clang-format on

void TestSimulator::mkimageRejectsBadArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);

    Sim sim;
    QProcess tool;
    tool.start(QStringLiteral(KDSIM_MKIMAGE_FILE), arguments);
    QVERIFY(tool.waitForFinished());
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode() == 0, ok);
    if (!ok)
        return;
    kdsim::ImageInfo info;
    std::string error;
    const QString written = arguments.first() == "--shipped" ? "shipped/kd740c_fpga_v3.rbf" : "out.img";
    QVERIFY2(kdsim::readImage(written.toStdString(), &info, &error), error.c_str());
    QCOMPARE(info.model, arguments.first() == "--shipped" ? 2 : 1);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
