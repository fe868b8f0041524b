#include "session/PartSteps.h"

namespace {

const char *const cannotFind = "Cannot Find Device";
const char *const failedClearing = "Failed Clearing";
const char *const failedWriting = "Failed Writing";

const char *const failedToOpen = "Failed to open device.";
const char *const unableToFind = "Unable to find device.";
const char *const clearingFpgaFailed = "Failed clearing FPGA.";
const char *const writingFpgaFailed = "Failed writing FPGA.";

// The update reaches the instrument the check found and writes the parts
// that differ; the USB handle is closed whichever way it ends.
const WorkflowRules updating {
    OpenMode::Found,
    cannotFind,
    cannotFind,
    AfterOpenFailure::End,
    PartsWritten::Differing,
    FinishAfterFailure::WhereItOnlyReleases,
};

// The restore rewrites every part of an instrument found in boot mode,
// bootstrapped, or with an FPGA that failed to load.
const WorkflowRules restoring {
    OpenMode::InBootMode,           failedToOpen,      unableToFind,
    AfterOpenFailure::PauseThenEnd, PartsWritten::All, FinishAfterFailure::Never,
};

const PartSequence updateOverUsb {
    LinkKind::Usb,
    updating,
    {
        { FirmwarePart::Boot, "boot Fx3", "boot Fx3", 10, PartSerial::Instrument, failedClearing, failedWriting },
        // The run program the update writes does not carry the serial.
        { FirmwarePart::Run, "run Fx3", "run Fx3", 10, PartSerial::None, failedClearing, failedWriting },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 360, PartSerial::None, failedClearing, failedWriting },
    },
};

const PartSequence updateOverNetwork {
    LinkKind::Network,
    updating,
    {
        // The network check reports one version for the FX3 program, kept as the boot version.
        { FirmwarePart::Boot, "FX3", "FX3", 20, PartSerial::Instrument, failedClearing, failedWriting },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 600, PartSerial::None, failedClearing, failedWriting },
    },
};

const PartSequence restoreOverUsb {
    LinkKind::Usb,
    restoring,
    {
        { FirmwarePart::Boot, "boot Fx3", "boot Fx3", 10, PartSerial::Instrument, "Failed clearing boot Fx3 device.",
          "Failed writing boot Fx3." },
        // The restore's run program carries the serial, unlike the update's.
        { FirmwarePart::Run, "run Fx3", "run Fx3 device", 10, PartSerial::Instrument, "Failed clearing run Fx3 device.",
          "Failed writing run Fx3." },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 360, PartSerial::None, clearingFpgaFailed, writingFpgaFailed },
    },
};

const PartSequence restoreOverNetwork {
    LinkKind::Network,
    restoring,
    {
        // Estimated at half the update's time for the same program.
        { FirmwarePart::Boot, "FX3", "FX3 program", 10, PartSerial::Instrument, "Failed clearing boot FX3 device.",
          "Failed writing FX3." },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 600, PartSerial::None, clearingFpgaFailed, writingFpgaFailed },
    },
};

} // namespace

const PartSequence &updateSequence(DeviceType type)
{
    return linkOf(type) == LinkKind::Network ? updateOverNetwork : updateOverUsb;
}

const PartSequence &restoreSequence(DeviceType type)
{
    return linkOf(type) == LinkKind::Network ? restoreOverNetwork : restoreOverUsb;
}

std::vector<const PartSequence *> allSequences()
{
    return { &updateOverUsb, &updateOverNetwork, &restoreOverUsb, &restoreOverNetwork };
}

// So that a normal run of either workflow never reads "longer than usual".
int usualSeconds(DeviceType type, const PartStep &part)
{
    int longest = part.expectedSeconds;
    for (const PartSequence *sequence : { &updateSequence(type), &restoreSequence(type) }) {
        for (const PartStep &other : sequence->parts) {
            if (qstrcmp(other.name, part.name) == 0)
                longest = qMax(longest, other.expectedSeconds);
        }
    }
    return longest;
}
