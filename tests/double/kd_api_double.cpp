// A stand-in kd_api that drives the real executable from inside: it answers
// every device call with a failure and, as KDDOUBLE_ACTION says, closes the
// main window or runs the version check and dismisses the model selector.
// It reports what the program showed on stdout when the process ends.

#define KD_API_BUILD
#include "device/kd_api.h"

#include "WindowScript.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

namespace {

void report(const char *name)
{
    std::printf("call %s\n", name);
}

void dismissSelector(const QByteArray &action)
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->inherits("DeviceSelectorDialog")) {
        QTimer::singleShot(20, [action] { dismissSelector(action); });
        return;
    }
    if (action == "cancel") {
        clickButton(modal, QStringLiteral("Cancel"));
    } else if (action == "escape") {
        QTest::keyClick(modal->windowHandle(), Qt::Key_Escape);
    } else if (action == "close-control") {
        QCloseEvent event;
        QCoreApplication::sendEvent(modal->windowHandle(), &event);
    }
    // Still here a while later: the dismissal did not end the process.
    QTimer::singleShot(2000, [] {
        std::printf("selector dismissed, process still running\n");
        std::fflush(stdout);
    });
}

void scheduleAction()
{
    const QByteArray action = qgetenv("KDDOUBLE_ACTION");
    if (action == "close") {
        QTimer::singleShot(0, [] {
            printWindow();
            if (QWidget *window = mainWindow())
                window->close();
        });
        return;
    }
    // The model selector's cancel ends the program: its window as it ends.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, printWindow);
    QTimer::singleShot(0, [action] {
        QTimer::singleShot(20, [action] { dismissSelector(action); });
        clickButton(mainWindow(), QStringLiteral("  Check Versions  "));
    });
}

template <typename Status>
Status failed(const char *name)
{
    report(name);
    return static_cast<Status>(1);
}

} // namespace

extern "C" {

const char *kdGetAPIVersion()
{
    report("kdGetAPIVersion");
    static bool scheduled = false;
    if (!scheduled) {
        scheduled = true;
        scheduleAction();
    }
    return "test double <1.0>";
}

int kdOpenDevice(int *)
{
    return failed<int>("kdOpenDevice");
}
int kdCloseDevice(int)
{
    return failed<int>("kdCloseDevice");
}
int kdGetFirmwareVersion(int, int *, int *, int *)
{
    return failed<int>("kdGetFirmwareVersion");
}
int kdGetDeviceInfo(int, int *, int *)
{
    return failed<int>("kdGetDeviceInfo");
}

KdInitStatus kdConfigUSBOpenDevice(int *)
{
    return failed<KdInitStatus>("kdConfigUSBOpenDevice");
}
KdInitStatus kdConfigUSBOpenDeviceBySerial(int *, int)
{
    return failed<KdInitStatus>("kdConfigUSBOpenDeviceBySerial");
}
KdInitStatus kdConfigUSBBootstrapDevice(int *, char const *)
{
    return failed<KdInitStatus>("kdConfigUSBBootstrapDevice");
}
KdInitStatus kdConfigUSBGetDeviceSerial(int, int *)
{
    return failed<KdInitStatus>("kdConfigUSBGetDeviceSerial");
}
KdInitStatus kdConfigUSBGetDeviceType(int, KdDeviceType *)
{
    return failed<KdInitStatus>("kdConfigUSBGetDeviceType");
}
KdInitStatus kdConfigUSBGetSerialFromFlash(int, int *)
{
    return failed<KdInitStatus>("kdConfigUSBGetSerialFromFlash");
}
KdInitStatus kdConfigUSBClearBootSector(int)
{
    return failed<KdInitStatus>("kdConfigUSBClearBootSector");
}
KdInitStatus kdConfigUSBWriteBootSector(int, char const *, int)
{
    return failed<KdInitStatus>("kdConfigUSBWriteBootSector");
}
KdInitStatus kdConfigUSBClearRunSector(int)
{
    return failed<KdInitStatus>("kdConfigUSBClearRunSector");
}
KdInitStatus kdConfigUSBWriteRunSector(int, char const *, int)
{
    return failed<KdInitStatus>("kdConfigUSBWriteRunSector");
}
KdInitStatus kdConfigUSBClearFPGAProgram(int, double &)
{
    return failed<KdInitStatus>("kdConfigUSBClearFPGAProgram");
}
KdInitStatus kdConfigUSBWriteFPGAProgram(int, char const *, double &)
{
    return failed<KdInitStatus>("kdConfigUSBWriteFPGAProgram");
}
KdInitStatus kdConfigUSBCloseDevice(int)
{
    return failed<KdInitStatus>("kdConfigUSBCloseDevice");
}

// As a library that lists every instrument it sees, whatever room the count
// it was given says the list has.
KdStatus kdConfigNetGetDeviceList(int *serials, int *count)
{
    for (int serial : { 4711, 4712, 4713, 4714 })
        *serials++ = serial;
    *count = 4;
    report("kdConfigNetGetDeviceList");
    return KD_OK;
}
KdStatus kdConfigNetOpenDevice(int *, int)
{
    return failed<KdStatus>("kdConfigNetOpenDevice");
}
KdStatus kdConfigNetBootstrapDevice(int *, char const *)
{
    return failed<KdStatus>("kdConfigNetBootstrapDevice");
}
KdStatus kdConfigNetGetSerialFromFlash(int, int *)
{
    return failed<KdStatus>("kdConfigNetGetSerialFromFlash");
}
KdStatus kdConfigNetGetFirmwareVersion(int, int *)
{
    return failed<KdStatus>("kdConfigNetGetFirmwareVersion");
}
KdStatus kdConfigNetGetFPGAStatus(int, int *)
{
    return failed<KdStatus>("kdConfigNetGetFPGAStatus");
}
KdStatus kdConfigNetClearFx3(int)
{
    return failed<KdStatus>("kdConfigNetClearFx3");
}
KdStatus kdConfigNetWriteFx3(int, char const *, int)
{
    return failed<KdStatus>("kdConfigNetWriteFx3");
}
KdStatus kdConfigNetClearFPGA(int)
{
    return failed<KdStatus>("kdConfigNetClearFPGA");
}
KdStatus kdConfigNetWriteFGPA(int, char const *)
{
    return failed<KdStatus>("kdConfigNetWriteFGPA");
}
KdStatus kdConfigNetPreset(int)
{
    return failed<KdStatus>("kdConfigNetPreset");
}
KdStatus kdConfigNetCloseDevice(int)
{
    return failed<KdStatus>("kdConfigNetCloseDevice");
}

} // extern "C"
