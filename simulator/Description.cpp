#include "Description.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

// Instrument description file. Line based; '#' at the start of a line or
// after a blank starts a comment; blank lines are ignored; indentation is
// optional.
//
//   api-version TEXT      what kdGetAPIVersion returns (rest of the line)
//   instrument            starts an instrument; the keys below apply to the
//                         latest one. No instrument: nothing is connected.
//     model N             0 KD740A, 1 KD740B, 2 KD740C, any other integer
//     serial N
//     link usb|net
//     state normal|boot|silent|fpga-failed
//     boot N|erased       controller boot program (KD740C: FX3 program)
//     run N|erased        run program (not used by net instruments)
//     fpga N|erased
//     power-cycle-after-write yes|no
//     awaiting-power-cycle yes|no
//   fail CALL [N]         CALL fails on every use, or on its Nth use only
//   badstatus CALL [N]    CALL works but reports failure
//   lost CALL [N]         CALL reports success but does nothing
//   unwritten CALL OUTPUT [N]  CALL works but leaves its out-parameter OUTPUT
//                         (named as in kd_api.h) as it was
//   swap CALL HOW PATH    at the start of CALL's first use, the image at PATH
//                         becomes one version on: HOW is replace, rewrite,
//                         relink or folder
//   vanish-after N        after N calls every instrument stops answering
//   progress counts|still whether the USB FPGA calls count their progress
//                         value up to 100 (the default) or leave it alone
//
// Keys an instrument leaves out take the built-in instrument's values:
// model 1, serial 1234, usb, normal, boot 4, run 5, fpga 10.
// A bad line is reported on the error stream with its number and ignored.

namespace kdsim {

namespace {

const char *const kApiCalls[] = {
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

// The out-parameters of the calls, as kd_api.h names them.
const char *const kOutputs[] = { "handle", "bootVersion", "runVersion", "fpgaVersion", "deviceType",
                                 "serial", "version",     "status",     "serials",     "count" };

bool isOutput(const std::string &name)
{
    for (const char *output : kOutputs) {
        if (name == output)
            return true;
    }
    return false;
}

struct Parser
{
    Description description;
    std::ostream &errors;
    int lineNumber = 0;
    std::string line;

    explicit Parser(std::ostream &err)
        : errors(err)
    {
    }

    void complain(const std::string &why)
    {
        errors << "kdsim: instrument description line " << lineNumber << ": " << why << " (ignored): " << line << '\n';
    }

    void parseLine(const std::string &key, const std::string &rest);
    void parseInstrumentKey(Instrument &instrument, const std::string &key, const std::string &value);
    void parseFault(FaultKind kind, const std::string &rest);
    void parseSwap(const std::string &rest);
};

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string withoutComment(const std::string &text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\t'))
            return text.substr(0, i);
    }
    return text;
}

bool toInt(const std::string &text, int *value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool toVersion(const std::string &text, std::optional<int> *version)
{
    if (text == "erased") {
        version->reset();
        return true;
    }
    int value = 0;
    if (!toInt(text, &value))
        return false;
    *version = value;
    return true;
}

bool toLink(const std::string &text, bool *net)
{
    if (text != "usb" && text != "net")
        return false;
    *net = text == "net";
    return true;
}

bool toYesNo(const std::string &text, bool *value)
{
    if (text != "yes" && text != "no")
        return false;
    *value = text == "yes";
    return true;
}

bool toState(const std::string &text, State *state)
{
    for (State s : { State::Normal, State::Boot, State::Silent, State::FpgaFailed }) {
        if (text == stateName(s)) {
            *state = s;
            return true;
        }
    }
    return false;
}

void Parser::parseLine(const std::string &key, const std::string &rest)
{
    if (key == "api-version") {
        if (rest.empty())
            complain("missing version text");
        else
            description.apiVersion = rest;
    } else if (key == "instrument") {
        if (!rest.empty())
            complain("'instrument' takes no value");
        else
            description.instruments.emplace_back();
    } else if (key == "fail") {
        parseFault(FaultKind::Fail, rest);
    } else if (key == "badstatus") {
        parseFault(FaultKind::BadStatus, rest);
    } else if (key == "lost") {
        parseFault(FaultKind::Lost, rest);
    } else if (key == "unwritten") {
        parseFault(FaultKind::Unwritten, rest);
    } else if (key == "swap") {
        parseSwap(rest);
    } else if (key == "vanish-after") {
        int count = 0;
        if (!toInt(rest, &count) || count < 0)
            complain("expected a call count");
        else
            description.vanishAfter = count;
    } else if (key == "progress") {
        if (rest != "counts" && rest != "still")
            complain("expected 'counts' or 'still'");
        else
            description.progressStill = rest == "still";
    } else if (description.instruments.empty()) {
        complain("unknown key or instrument key outside an instrument block");
    } else {
        parseInstrumentKey(description.instruments.back(), key, rest);
    }
}

void Parser::parseInstrumentKey(Instrument &instrument, const std::string &key, const std::string &value)
{
    bool ok = true;
    if (key == "model")
        ok = toInt(value, &instrument.model);
    else if (key == "serial")
        ok = toInt(value, &instrument.serial);
    else if (key == "link")
        ok = toLink(value, &instrument.net);
    else if (key == "state")
        ok = toState(value, &instrument.state);
    else if (key == "boot")
        ok = toVersion(value, &instrument.boot);
    else if (key == "run")
        ok = toVersion(value, &instrument.run);
    else if (key == "fpga")
        ok = toVersion(value, &instrument.fpga);
    else if (key == "power-cycle-after-write")
        ok = toYesNo(value, &instrument.powerCycleAfterWrite);
    else if (key == "awaiting-power-cycle")
        ok = toYesNo(value, &instrument.awaitingPowerCycle);
    else
        return complain("unknown key");
    if (!ok)
        complain("bad value for '" + key + "'");
}

void Parser::parseFault(FaultKind kind, const std::string &rest)
{
    std::istringstream words(rest);
    Fault fault;
    fault.kind = kind;
    std::string use, extra;
    words >> fault.call;
    if (kind == FaultKind::Unwritten)
        words >> fault.output;
    words >> use >> extra;
    if (!isApiCall(fault.call) || fault.call == "kdGetAPIVersion")
        return complain("not a call that can fail");
    if (kind == FaultKind::Unwritten && !isOutput(fault.output))
        return complain("expected the name of an out-parameter, as kd_api.h names it");
    if (!extra.empty() || (!use.empty() && (!toInt(use, &fault.use) || fault.use < 1)))
        return complain("expected a call name and an optional use number from 1");
    description.faults.push_back(fault);
}

const char *const kSwapKinds[] = { "replace", "rewrite", "relink", "folder" };

void Parser::parseSwap(const std::string &rest)
{
    std::istringstream words(rest);
    Swap swap;
    std::string kind, extra;
    words >> swap.call >> kind >> swap.path >> extra;
    if (!isApiCall(swap.call) || swap.path.empty() || !extra.empty())
        return complain("expected a call name, replace|rewrite|relink|folder and a path");
    for (int index = 0; index < 4; ++index) {
        if (kind == kSwapKinds[index]) {
            swap.kind = SwapKind(index);
            description.swaps.push_back(swap);
            return;
        }
    }
    complain("expected replace, rewrite, relink or folder");
}

std::string versionText(const std::optional<int> &version)
{
    return version ? std::to_string(*version) : std::string("erased");
}

const char *faultKeyword(FaultKind kind)
{
    switch (kind) {
    case FaultKind::Fail: return "fail";
    case FaultKind::BadStatus: return "badstatus";
    case FaultKind::Lost: return "lost";
    case FaultKind::Unwritten: return "unwritten";
    }
    return "fail";
}

int severity(State state)
{
    switch (state) {
    case State::Normal: return 0;
    case State::Boot:
    case State::FpgaFailed: return 1;
    case State::Silent: return 2;
    }
    return 0;
}

} // namespace

Description parseDescription(const std::string &text, std::ostream &errors)
{
    Parser parser(errors);
    std::istringstream lines(text);
    while (std::getline(lines, parser.line)) {
        ++parser.lineNumber;
        const std::string content = trimmed(withoutComment(parser.line));
        if (content.empty())
            continue;
        const auto space = content.find_first_of(" \t");
        const std::string key = content.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : trimmed(content.substr(space));
        parser.parseLine(key, rest);
    }
    for (Instrument &instrument : parser.description.instruments) {
        if (!instrument.net && instrument.state == State::FpgaFailed)
            instrument.state = State::Boot; // a USB instrument reports a bad FPGA by staying in boot mode
    }
    return parser.description;
}

std::string formatDescription(const Description &description)
{
    std::ostringstream out;
    out << "# Simulated KD740 instruments; rewritten by the simulator as they change.\n"
        << "api-version " << description.apiVersion << '\n';
    for (const Instrument &instrument : description.instruments) {
        out << "instrument\n"
            << "  model " << instrument.model << '\n'
            << "  serial " << instrument.serial << '\n'
            << "  link " << (instrument.net ? "net" : "usb") << '\n'
            << "  state " << stateName(instrument.state) << '\n'
            << "  boot " << versionText(instrument.boot) << '\n';
        if (!instrument.net)
            out << "  run " << versionText(instrument.run) << '\n';
        out << "  fpga " << versionText(instrument.fpga) << '\n';
        if (instrument.powerCycleAfterWrite)
            out << "  power-cycle-after-write yes\n";
        if (instrument.awaitingPowerCycle)
            out << "  awaiting-power-cycle yes\n";
    }
    for (const Fault &fault : description.faults) {
        out << faultKeyword(fault.kind) << ' ' << fault.call;
        if (!fault.output.empty())
            out << ' ' << fault.output;
        if (fault.use > 0)
            out << ' ' << fault.use;
        out << '\n';
    }
    for (const Swap &swap : description.swaps)
        out << "swap " << swap.call << ' ' << kSwapKinds[int(swap.kind)] << ' ' << swap.path << '\n';
    if (description.vanishAfter >= 0)
        out << "vanish-after " << description.vanishAfter << '\n';
    if (description.progressStill)
        out << "progress still\n";
    return out.str();
}

State derivedState(const Instrument &instrument)
{
    if (!instrument.boot)
        return State::Silent;
    if (instrument.net)
        return instrument.fpga ? State::Normal : State::FpgaFailed;
    return instrument.run && instrument.fpga ? State::Normal : State::Boot;
}

State loadedState(const Instrument &instrument)
{
    const State derived = derivedState(instrument);
    return severity(derived) > severity(instrument.state) ? derived : instrument.state;
}

const char *stateName(State state)
{
    switch (state) {
    case State::Normal: return "normal";
    case State::Boot: return "boot";
    case State::Silent: return "silent";
    case State::FpgaFailed: return "fpga-failed";
    }
    return "?";
}

bool isApiCall(const std::string &name)
{
    for (const char *call : kApiCalls) {
        if (name == call)
            return true;
    }
    return false;
}

} // namespace kdsim
