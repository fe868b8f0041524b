// The kd_api calls, answered by the simulated instruments. Each call traces
// itself, honours the fault lines and takes the scaled time the hardware
// would take.

#include "device/kd_api.h"

#include "FirmwareImage.h"
#include "Simulator.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

using namespace kdsim;

namespace {

// Seconds the hardware takes, before scaling.
const double kQuick = 0.5;
const double kBootstrap = 5;
const double kUsbSectorClear = 2;
const double kUsbSectorWrite = 8;
const double kUsbFpgaClear = 30;
const double kUsbFpgaWrite = 330;
const double kNetFx3Clear = 3;
const double kNetFx3Write = 17;
const double kNetFpgaClear = 60;
const double kNetFpgaWrite = 540;
const double kPreset = 5;
const double kDeviceList = 1;

using Slot = std::optional<int> Instrument::*;

struct Target
{
    Session session;
    Part part;
    Slot slot;
    double seconds;
};

KdInitStatus usbStatus(int status)
{
    return status == 0 ? KD_INIT_OK : KD_INIT_ERROR;
}

KdStatus netStatus(int status)
{
    return status == 0 ? KD_OK : KD_ERROR;
}

int versionOf(const std::optional<int> &part)
{
    return part.value_or(0);
}

// An instrument waiting for its power to be cycled answers nothing, as if
// it were unplugged.
bool silenced(const Instrument *instrument)
{
    return instrument && instrument->awaitingPowerCycle;
}

int findInstrument(Simulator &sim, const std::function<bool(const Instrument &)> &wanted)
{
    const std::vector<Instrument> &instruments = sim.instruments();
    const auto it = std::find_if(instruments.begin(), instruments.end(),
                                 [&wanted](const Instrument &i) { return !silenced(&i) && wanted(i); });
    return it == instruments.end() ? -1 : int(it - instruments.begin());
}

int openInstrument(Call &call, int *handle, Session session, const std::function<bool(const Instrument &)> &wanted)
{
    if (call.refused())
        return call.refuse();
    if (!handle)
        return call.reject("null handle pointer");
    if (call.lost())
        return call.finish(0, kQuick);
    const int index = findInstrument(call.sim(), wanted);
    if (index < 0)
        return call.finish(1, kQuick);
    if (!call.sim().open(index, session))
        return call.reject("instrument is already open");
    if (!call.leaves("handle"))
        *handle = Simulator::handleOf(index);
    return call.finish(0, kQuick);
}

// An instrument that restarts after a write does so once the updater lets
// go of it, so the rest of the write sequence still reaches it.
void letGo(Simulator &sim, Instrument &instrument)
{
    if (instrument.writtenSinceRestart && instrument.powerCycleAfterWrite) {
        instrument.awaitingPowerCycle = true;
        sim.changed();
    }
    instrument.writtenSinceRestart = false;
}

int closeInstrument(Call &call, int handle, Session session)
{
    if (call.refused())
        return call.refuse();
    Instrument *instrument = call.sim().opened(handle, session);
    if (silenced(instrument))
        return call.refuse();
    if (!instrument)
        return call.reject("invalid handle");
    if (call.lost())
        return call.finish(0, kQuick);
    call.sim().close(handle, session);
    // A USB instrument restarts when its configuration session ends; a net
    // one only on its preset.
    if (session == Session::UsbConfig)
        letGo(call.sim(), *instrument);
    return call.finish(0, kQuick);
}

// An out-parameter of a read, by its name in kd_api.h: an int or an
// int-sized enum.
struct Out
{
    const char *name;
    void *value;
};

// Answers a read-only call: every out-pointer must be given.
int query(Call &call, int handle, Session session, std::initializer_list<Out> outs,
          const std::function<void(const Instrument &)> &fill)
{
    if (call.refused())
        return call.refuse();
    const Instrument *instrument = call.sim().opened(handle, session);
    if (silenced(instrument))
        return call.refuse();
    if (!instrument)
        return call.reject("invalid handle");
    for (const Out &out : outs) {
        if (!out.value)
            return call.reject("null pointer argument");
    }
    if (call.lost())
        return call.finish(0, kQuick);
    std::vector<int> before;
    for (const Out &out : outs) {
        int value = 0;
        std::memcpy(&value, out.value, sizeof value);
        before.push_back(value);
    }
    fill(*instrument);
    std::size_t index = 0;
    for (const Out &out : outs) {
        if (call.leaves(out.name))
            std::memcpy(out.value, &before[index], sizeof(int));
        ++index;
    }
    return call.finish(0, kQuick);
}

void setPart(Simulator &sim, Instrument &instrument, Slot slot, std::optional<int> version)
{
    instrument.*slot = version;
    instrument.state = derivedState(instrument);
    sim.changed();
}

// The instrument went away while erasing or writing: the part is left half
// done, which is as good as erased.
int interrupted(Call &call, Instrument &instrument, Slot slot, double seconds)
{
    setPart(call.sim(), instrument, slot, std::nullopt);
    return call.finish(1, seconds / 2);
}

int clearPart(Call &call, int handle, Session session, Slot slot, double seconds, double *progress = nullptr)
{
    Instrument *instrument = call.sim().opened(handle, session);
    if (silenced(instrument))
        return call.refuse();
    if (call.fate() == Fate::VanishesNow && instrument)
        return interrupted(call, *instrument, slot, seconds);
    if (call.refused())
        return call.refuse();
    if (!instrument)
        return call.reject("invalid handle");
    if (call.lost())
        return call.finish(0, seconds, {}, progress);
    setPart(call.sim(), *instrument, slot, std::nullopt);
    return call.finish(0, seconds, {}, progress);
}

bool checkImage(const char *path, const Instrument &instrument, Part part, ImageInfo *info, std::string *why)
{
    if (!path) {
        *why = "no image path";
        return false;
    }
    if (!readImage(path, info, why)) {
        *why = "image refused: " + *why;
        return false;
    }
    if (info->model != instrument.model) {
        *why = "image refused: it is for model " + std::to_string(info->model) + ", the instrument is model "
            + std::to_string(instrument.model);
        return false;
    }
    if (info->part != part) {
        *why = std::string("image refused: it holds part ") + partName(info->part) + ", expected " + partName(part);
        return false;
    }
    return true;
}

int writePart(Call &call, int handle, const char *image, const Target &target, int serial = 0,
              double *progress = nullptr)
{
    Simulator &sim = call.sim();
    Instrument *instrument = sim.opened(handle, target.session);
    if (silenced(instrument))
        return call.refuse();
    if (call.fate() == Fate::VanishesNow && instrument)
        return interrupted(call, *instrument, target.slot, target.seconds);
    if (call.refused())
        return call.refuse();
    if (!instrument)
        return call.reject("invalid handle");
    ImageInfo info;
    std::string why;
    if (!checkImage(image, *instrument, target.part, &info, &why))
        return call.reject(why);
    if (call.lost())
        return call.finish(0, target.seconds, {}, progress);

    // Erased while the write runs, so a process killed half-way leaves the
    // instrument as a real one would be left.
    setPart(sim, *instrument, target.slot, std::nullopt);
    const auto complete = [&sim, instrument, target, info, serial] {
        if (serial > 0)
            instrument->serial = serial; // the serial lives in the written sector
        instrument->writtenSinceRestart = true;
        setPart(sim, *instrument, target.slot, info.version);
    };
    return call.finish(0, target.seconds, complete, progress);
}

int bootstrap(Call &call, int *handle, const char *image, bool net)
{
    if (call.refused())
        return call.refuse();
    if (!handle)
        return call.reject("null handle pointer");
    if (call.lost())
        return call.finish(0, kBootstrap);
    Simulator &sim = call.sim();
    const int index = findInstrument(sim, [net](const Instrument &instrument) {
        return instrument.net == net && instrument.state == State::Silent;
    });
    if (index < 0)
        return call.finish(1, kQuick);
    Instrument &instrument = sim.instruments()[std::size_t(index)];
    ImageInfo info;
    std::string why;
    if (!checkImage(image, instrument, net ? Part::Fx3 : Part::Boot, &info, &why))
        return call.reject(why);
    // The program runs from RAM: the flash keeps whatever it had.
    instrument.state = State::Boot;
    sim.changed();
    sim.reopen(index, net ? Session::Net : Session::UsbConfig);
    if (!call.leaves("handle"))
        *handle = Simulator::handleOf(index);
    return call.finish(0, kBootstrap);
}

bool isUsb(const Instrument &instrument, State state)
{
    return !instrument.net && instrument.state == state;
}

bool answersNet(const Instrument &instrument)
{
    return instrument.net && instrument.state != State::Silent && !silenced(&instrument);
}

} // namespace

extern "C" {

const char *kdGetAPIVersion()
{
    Call call("kdGetAPIVersion");
    return call.finishText(call.sim().apiVersion());
}

int kdOpenDevice(int *handle)
{
    Call call("kdOpenDevice");
    call.arg(handle);
    return openInstrument(call, handle, Session::Device, [](const Instrument &i) { return isUsb(i, State::Normal); });
}

int kdCloseDevice(int handle)
{
    Call call("kdCloseDevice");
    call.arg(handle);
    return closeInstrument(call, handle, Session::Device);
}

int kdGetFirmwareVersion(int handle, int *bootVersion, int *runVersion, int *fpgaVersion)
{
    Call call("kdGetFirmwareVersion");
    call.arg(handle).arg(bootVersion).arg(runVersion).arg(fpgaVersion);
    return query(call, handle, Session::Device,
                 { { "bootVersion", bootVersion }, { "runVersion", runVersion }, { "fpgaVersion", fpgaVersion } },
                 [&](const Instrument &i) {
                     *bootVersion = versionOf(i.boot);
                     *runVersion = versionOf(i.run);
                     *fpgaVersion = versionOf(i.fpga);
                 });
}

int kdGetDeviceInfo(int handle, int *deviceType, int *serial)
{
    Call call("kdGetDeviceInfo");
    call.arg(handle).arg(deviceType).arg(serial);
    return query(call, handle, Session::Device, { { "deviceType", deviceType }, { "serial", serial } },
                 [&](const Instrument &i) {
                     *deviceType = i.model;
                     *serial = i.serial;
                 });
}

KdInitStatus kdConfigUSBOpenDevice(int *handle)
{
    Call call("kdConfigUSBOpenDevice");
    call.arg(handle);
    return usbStatus(
        openInstrument(call, handle, Session::UsbConfig, [](const Instrument &i) { return isUsb(i, State::Boot); }));
}

KdInitStatus kdConfigUSBOpenDeviceBySerial(int *handle, int serial)
{
    Call call("kdConfigUSBOpenDeviceBySerial");
    call.arg(handle).arg(serial);
    return usbStatus(openInstrument(call, handle, Session::UsbConfig, [serial](const Instrument &i) {
        return i.serial == serial && (isUsb(i, State::Normal) || isUsb(i, State::Boot));
    }));
}

KdInitStatus kdConfigUSBBootstrapDevice(int *handle, char const *bootImage)
{
    Call call("kdConfigUSBBootstrapDevice");
    call.arg(handle).path(bootImage);
    return usbStatus(bootstrap(call, handle, bootImage, false));
}

KdInitStatus kdConfigUSBGetDeviceSerial(int handle, int *serial)
{
    Call call("kdConfigUSBGetDeviceSerial");
    call.arg(handle).arg(serial);
    return usbStatus(query(call, handle, Session::UsbConfig, { { "serial", serial } },
                           [&](const Instrument &i) { *serial = i.serial; }));
}

KdInitStatus kdConfigUSBGetDeviceType(int handle, KdDeviceType *deviceType)
{
    Call call("kdConfigUSBGetDeviceType");
    call.arg(handle).arg(deviceType);
    return usbStatus(query(call, handle, Session::UsbConfig, { { "deviceType", deviceType } },
                           [&](const Instrument &i) { *deviceType = KdDeviceType(i.model); }));
}

KdInitStatus kdConfigUSBGetSerialFromFlash(int handle, int *serial)
{
    Call call("kdConfigUSBGetSerialFromFlash");
    call.arg(handle).arg(serial);
    return usbStatus(query(call, handle, Session::UsbConfig, { { "serial", serial } },
                           [&](const Instrument &i) { *serial = i.serial; }));
}

KdInitStatus kdConfigUSBClearBootSector(int handle)
{
    Call call("kdConfigUSBClearBootSector");
    call.arg(handle);
    return usbStatus(clearPart(call, handle, Session::UsbConfig, &Instrument::boot, kUsbSectorClear));
}

KdInitStatus kdConfigUSBWriteBootSector(int handle, char const *image, int serial)
{
    Call call("kdConfigUSBWriteBootSector");
    call.arg(handle).path(image).arg(serial);
    const Target target { Session::UsbConfig, Part::Boot, &Instrument::boot, kUsbSectorWrite };
    return usbStatus(writePart(call, handle, image, target, serial));
}

KdInitStatus kdConfigUSBClearRunSector(int handle)
{
    Call call("kdConfigUSBClearRunSector");
    call.arg(handle);
    return usbStatus(clearPart(call, handle, Session::UsbConfig, &Instrument::run, kUsbSectorClear));
}

KdInitStatus kdConfigUSBWriteRunSector(int handle, char const *image, int serial)
{
    Call call("kdConfigUSBWriteRunSector");
    call.arg(handle).path(image).arg(serial);
    const Target target { Session::UsbConfig, Part::Run, &Instrument::run, kUsbSectorWrite };
    return usbStatus(writePart(call, handle, image, target, serial));
}

KdInitStatus kdConfigUSBClearFPGAProgram(int handle, double &progress)
{
    Call call("kdConfigUSBClearFPGAProgram");
    call.arg(handle).progress(progress);
    return usbStatus(clearPart(call, handle, Session::UsbConfig, &Instrument::fpga, kUsbFpgaClear, &progress));
}

KdInitStatus kdConfigUSBWriteFPGAProgram(int handle, char const *image, double &progress)
{
    Call call("kdConfigUSBWriteFPGAProgram");
    call.arg(handle).path(image).progress(progress);
    const Target target { Session::UsbConfig, Part::Fpga, &Instrument::fpga, kUsbFpgaWrite };
    return usbStatus(writePart(call, handle, image, target, 0, &progress));
}

KdInitStatus kdConfigUSBCloseDevice(int handle)
{
    Call call("kdConfigUSBCloseDevice");
    call.arg(handle);
    return usbStatus(closeInstrument(call, handle, Session::UsbConfig));
}

KdStatus kdConfigNetGetDeviceList(int *serials, int *count)
{
    Call call("kdConfigNetGetDeviceList");
    call.arg(count);
    if (call.vanished()) {
        if (count)
            *count = 0;
        return netStatus(call.refuse());
    }
    if (call.refused())
        return netStatus(call.refuse());
    if (!count)
        return netStatus(call.reject("null count pointer"));
    if (call.lost())
        return netStatus(call.finish(0, kDeviceList));
    const int room = serials ? std::max(0, *count) : 0;
    int listed = 0;
    for (const Instrument &instrument : call.sim().instruments()) {
        if (!answersNet(instrument))
            continue;
        if (listed < room && !call.leaves("serials"))
            serials[listed] = instrument.serial;
        ++listed;
    }
    if (!call.leaves("count"))
        *count = listed;
    return netStatus(call.finish(0, kDeviceList));
}

KdStatus kdConfigNetOpenDevice(int *handle, int serial)
{
    Call call("kdConfigNetOpenDevice");
    call.arg(handle).arg(serial);
    return netStatus(openInstrument(call, handle, Session::Net,
                                    [serial](const Instrument &i) { return answersNet(i) && i.serial == serial; }));
}

KdStatus kdConfigNetBootstrapDevice(int *handle, char const *fx3Image)
{
    Call call("kdConfigNetBootstrapDevice");
    call.arg(handle).path(fx3Image);
    return netStatus(bootstrap(call, handle, fx3Image, true));
}

KdStatus kdConfigNetGetSerialFromFlash(int handle, int *serial)
{
    Call call("kdConfigNetGetSerialFromFlash");
    call.arg(handle).arg(serial);
    return netStatus(
        query(call, handle, Session::Net, { { "serial", serial } }, [&](const Instrument &i) { *serial = i.serial; }));
}

KdStatus kdConfigNetGetFirmwareVersion(int handle, int *version)
{
    Call call("kdConfigNetGetFirmwareVersion");
    call.arg(handle).arg(version);
    return netStatus(query(call, handle, Session::Net, { { "version", version } },
                           [&](const Instrument &i) { *version = versionOf(i.boot); }));
}

KdStatus kdConfigNetGetFPGAStatus(int handle, int *status)
{
    Call call("kdConfigNetGetFPGAStatus");
    call.arg(handle).arg(status);
    return netStatus(query(call, handle, Session::Net, { { "status", status } },
                           [&](const Instrument &i) { *status = i.state == State::FpgaFailed || !i.fpga ? 2 : 1; }));
}

KdStatus kdConfigNetClearFx3(int handle)
{
    Call call("kdConfigNetClearFx3");
    call.arg(handle);
    return netStatus(clearPart(call, handle, Session::Net, &Instrument::boot, kNetFx3Clear));
}

KdStatus kdConfigNetWriteFx3(int handle, char const *image, int serial)
{
    Call call("kdConfigNetWriteFx3");
    call.arg(handle).path(image).arg(serial);
    const Target target { Session::Net, Part::Fx3, &Instrument::boot, kNetFx3Write };
    return netStatus(writePart(call, handle, image, target, serial));
}

KdStatus kdConfigNetClearFPGA(int handle)
{
    Call call("kdConfigNetClearFPGA");
    call.arg(handle);
    return netStatus(clearPart(call, handle, Session::Net, &Instrument::fpga, kNetFpgaClear));
}

KdStatus kdConfigNetWriteFGPA(int handle, char const *image)
{
    Call call("kdConfigNetWriteFGPA");
    call.arg(handle).path(image);
    const Target target { Session::Net, Part::Fpga, &Instrument::fpga, kNetFpgaWrite };
    return netStatus(writePart(call, handle, image, target));
}

KdStatus kdConfigNetPreset(int handle)
{
    Call call("kdConfigNetPreset");
    call.arg(handle);
    if (call.refused())
        return netStatus(call.refuse());
    Instrument *instrument = call.sim().opened(handle, Session::Net);
    if (silenced(instrument))
        return netStatus(call.refuse());
    if (!instrument)
        return netStatus(call.reject("invalid handle"));
    if (call.lost())
        return netStatus(call.finish(0, kPreset));
    // A restart drops a program that was only bootstrapped into RAM; an
    // FPGA that failed to configure fails again until it is rewritten.
    State restarted = derivedState(*instrument);
    if (instrument->state == State::FpgaFailed)
        restarted = loadedState(*instrument);
    if (restarted != instrument->state) {
        instrument->state = restarted;
        call.sim().changed();
    }
    letGo(call.sim(), *instrument);
    // The restart ends the configuration session: the instrument is opened
    // anew to be read.
    call.sim().close(handle, Session::Net);
    return netStatus(call.finish(0, kPreset));
}

KdStatus kdConfigNetCloseDevice(int handle)
{
    Call call("kdConfigNetCloseDevice");
    call.arg(handle);
    return netStatus(closeInstrument(call, handle, Session::Net));
}

} // extern "C"
