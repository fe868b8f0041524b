#ifndef KDSIM_DESCRIPTION_H
#define KDSIM_DESCRIPTION_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kdsim {

enum class State { Normal, Boot, Silent, FpgaFailed };

struct Instrument
{
    int model = 1;
    int serial = 1234;
    bool net = false;
    State state = State::Normal;
    std::optional<int> boot = 4; // for a KD740C: its FX3 program
    std::optional<int> run = 5; // empty: erased
    std::optional<int> fpga = 10;
    // Restarts itself once the updater lets go of it after a write, and
    // stays silent until someone cycles its power (edits the file).
    bool powerCycleAfterWrite = false;
    bool awaitingPowerCycle = false;
    // Not kept in the file: reloading it is a power cycle, which forgets it.
    bool writtenSinceRestart = false;
};

enum class FaultKind {
    Fail, // no effect, reports failure
    BadStatus, // does its work, reports failure
    Lost, // no effect, reports success
    Unwritten, // works, but leaves one of its outputs as it was
};

struct Fault
{
    std::string call;
    int use = 0; // 1-based use that is hit; 0: every use
    FaultKind kind = FaultKind::Fail;
    std::string output; // Unwritten: the out-parameter's name in kd_api.h
};

// How a swap line changes an image file under the updater's feet.
enum class SwapKind {
    Replace, // another file renamed over it
    Rewrite, // the same file written afresh
    Relink, // a symbolic link to another file in its place
    Folder, // its folder renamed aside and another put in its place
};

// At the start of the first use of call, the image file at path is swapped
// for one of the same model and part, one version on (see Simulator::swap).
struct Swap
{
    std::string call;
    SwapKind kind = SwapKind::Replace;
    std::string path;
};

struct Description
{
    std::string apiVersion = "3.1.4-sim";
    std::vector<Instrument> instruments;
    std::vector<Fault> faults;
    std::vector<Swap> swaps;
    int vanishAfter = -1; // -1: never
    bool progressStill = false; // the USB FPGA calls leave their progress value alone
};

Description parseDescription(const std::string &text, std::ostream &errors);
std::string formatDescription(const Description &description);

// What the instrument's parts make of its state after they changed.
State derivedState(const Instrument &instrument);
// The state an instrument is found in when loaded: never better than its parts allow.
State loadedState(const Instrument &instrument);

const char *stateName(State state);
bool isApiCall(const std::string &name);

} // namespace kdsim

#endif
