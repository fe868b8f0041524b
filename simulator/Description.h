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
};

struct Fault
{
    std::string call;
    int use = 0; // 1-based use that fails; 0: every use
    bool badStatus = false; // the call does its work but reports failure
};

struct Description
{
    std::string apiVersion = "3.1.4-sim";
    std::vector<Instrument> instruments;
    std::vector<Fault> faults;
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
