#include "Simulator.h"

#include "FirmwareImage.h"
#include "ReplaceFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <thread>

namespace kdsim {

namespace {

const double kDefaultScale = 0.02;

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Empty when path names a regular file, or nothing and need not (or, with
// create, could be made a file).
std::string fileProblem(const char *name, const std::string &path, bool create)
{
    if (path.empty())
        return std::string();
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status)) {
        return std::filesystem::is_regular_file(status) ? std::string()
                                                        : std::string(name) + " is not a regular file: " + path;
    }
    if (create && !std::ofstream(path, std::ios::app))
        return std::string(name) + " cannot be created: " + path;
    return std::string();
}

Description builtInDescription()
{
    Description description;
    description.instruments.emplace_back();
    return description;
}

// The caller may read the progress value from another thread while the
// call runs; GCC and Clang (MinGW included) store a plain double atomically
// through their builtins.
void pause(double seconds, double *progress)
{
    const int steps = progress ? 50 : 1;
    for (int step = 1; step <= steps; ++step) {
        if (seconds > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds / steps));
        if (progress) {
            double value = 100.0 * step / steps;
            __atomic_store(progress, &value, __ATOMIC_RELAXED);
        }
    }
}

// The image at path made one version on, as a file at other; a file that is
// no image (a list, its signature) with a line break more.
bool writeNextVersion(const std::string &path, const std::string &other)
{
    ImageInfo info;
    std::string error;
    if (readImage(path, &info, &error)) {
        ++info.version;
        return writeImage(other, info, &error);
    }
    std::ifstream in(path, std::ios::binary);
    std::ofstream out(other, std::ios::binary | std::ios::trunc);
    out << in.rdbuf() << '\n';
    return in.good() && out.good();
}

bool swapImage(SwapKind kind, const std::filesystem::path &path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string other = path.string() + ".kdsim-swapped";
    switch (kind) {
    case SwapKind::Replace: return writeNextVersion(path.string(), other) && replaceFile(other, path.string());
    case SwapKind::Rewrite: {
        // In place, the same file written afresh: std::filesystem's copy
        // over an existing file fails under MinGW.
        if (!writeNextVersion(path.string(), other))
            return false;
        std::ifstream in(other, std::ios::binary);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
        out.close();
        return in.good() && out.good() && fs::remove(other, ec);
    }
    case SwapKind::Relink:
        if (!writeNextVersion(path.string(), other) || !fs::remove(path, ec))
            return false;
        fs::create_symlink(fs::absolute(other), path, ec);
        return !ec;
    case SwapKind::Folder: {
        const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        const fs::path aside = folder.string() + ".kdsim-aside";
        fs::rename(folder, aside, ec);
        if (ec || !fs::create_directory(folder, ec))
            return false;
        return writeNextVersion((aside / path.filename()).string(), path.string());
    }
    }
    return false;
}

} // namespace

bool Simulator::FileStamp::operator==(const FileStamp &other) const
{
    return exists == other.exists && bytes == other.bytes && modified == other.modified;
}

Simulator &Simulator::instance()
{
    static Simulator simulator;
    return simulator;
}

Simulator::FileStamp Simulator::stampOf(const std::string &path)
{
    FileStamp stamp;
    if (path.empty())
        return stamp;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return stamp;
    stamp.exists = true;
    stamp.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::error_code ec;
    // The time catches a file rewritten with the same text, which a test
    // does to start a case afresh.
    stamp.modified = std::filesystem::last_write_time(path, ec);
    return stamp;
}

bool Simulator::settingsUsable(const std::string &tracePath)
{
    std::string problem = fileProblem("KDSIM_DEVICE", environment("KDSIM_DEVICE"), false);
    if (problem.empty())
        problem = fileProblem("KDSIM_TRACE", tracePath, true);
    if (!problem.empty() && problem != m_settingsProblem)
        std::cerr << "kdsim: " << problem << "; every call fails\n";
    m_settingsProblem = problem;
    return problem.empty();
}

void Simulator::refresh()
{
    const std::string path = environment("KDSIM_DEVICE");
    const FileStamp stamp = stampOf(path);
    if (m_loaded && path == m_path && stamp == m_stamp)
        return;
    load(path, stamp);
}

void Simulator::load(const std::string &path, const FileStamp &stamp)
{
    m_loaded = true;
    m_path = path;
    m_stamp = stamp;
    if (path.empty()) {
        m_description = builtInDescription();
    } else if (!stamp.exists) {
        std::cerr << "kdsim: cannot read instrument description " << path << "; nothing is connected\n";
        m_description = Description();
    } else {
        m_description = parseDescription(stamp.bytes, std::cerr);
    }
    // A state the parts cannot be in is corrected at once, so the file
    // always tells what the instrument will do.
    bool corrected = false;
    for (Instrument &instrument : m_description.instruments) {
        const State state = loadedState(instrument);
        corrected = corrected || state != instrument.state;
        instrument.state = state;
    }
    if (corrected)
        changed();
    ++m_generation;
    m_calls = 0;
    m_uses.clear();
    m_swapsDone = 0;
    m_open.clear();
    m_progressIds.clear();
}

Fate Simulator::countCall(const std::string &name, std::vector<std::string> *unwritten)
{
    if (name == "kdGetAPIVersion")
        return Fate::Normal;
    const int calls = ++m_calls;
    const int use = ++m_uses[name];
    const int vanishAfter = m_description.vanishAfter;
    if (vanishAfter >= 0 && calls > vanishAfter)
        return calls == vanishAfter + 1 ? Fate::VanishesNow : Fate::Vanished;

    Fate fate = Fate::Normal;
    for (const Fault &fault : m_description.faults) {
        if (fault.call != name || (fault.use != 0 && fault.use != use))
            continue;
        if (fault.kind == FaultKind::Unwritten) {
            unwritten->push_back(fault.output);
            continue;
        }
        if (fault.kind == FaultKind::Fail)
            return Fate::Fail;
        // A lost call never reached the instrument, so it cannot report a
        // bad status either.
        if (fault.kind == FaultKind::Lost)
            fate = Fate::Lost;
        else if (fate != Fate::Lost)
            fate = Fate::BadStatus;
    }
    return fate;
}

void Simulator::swapImages(const std::string &name)
{
    const std::vector<Swap> &swaps = m_description.swaps;
    while (m_swapsDone < swaps.size() && swaps[m_swapsDone].call == name) {
        const Swap &swap = swaps[m_swapsDone++];
        if (!swapImage(swap.kind, swap.path))
            std::cerr << "kdsim: cannot swap " << swap.path << '\n';
    }
}

double Simulator::scale() const
{
    const std::string text = environment("KDSIM_SCALE");
    if (text.empty())
        return kDefaultScale;
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(value >= 0))
        return kDefaultScale;
    return value;
}

const char *Simulator::apiVersion()
{
    const std::string &text = m_description.apiVersion;
    for (const std::string &known : m_apiVersions) {
        if (known == text)
            return known.c_str();
    }
    m_apiVersions.push_back(text);
    return m_apiVersions.back().c_str();
}

Instrument *Simulator::opened(int handle, Session session)
{
    const int index = handle - handleOf(0);
    const auto it = m_open.find(index);
    if (it == m_open.end() || it->second != session)
        return nullptr;
    return &instruments()[std::size_t(index)];
}

bool Simulator::open(int index, Session session)
{
    // Like the USB driver, an instrument is opened by one session at a time.
    return m_open.emplace(index, session).second;
}

void Simulator::reopen(int index, Session session)
{
    m_open[index] = session;
}

bool Simulator::close(int handle, Session session)
{
    if (!opened(handle, session))
        return false;
    m_open.erase(handle - handleOf(0));
    return true;
}

void Simulator::changed()
{
    if (m_path.empty())
        return;
    const std::string text = formatDescription(m_description);
    const std::string temp = m_path + ".kdsim-tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::cerr << "kdsim: cannot write " << temp << '\n';
            return;
        }
    }
    if (!replaceFile(temp, m_path)) {
        std::cerr << "kdsim: cannot replace " << m_path << '\n';
        std::remove(temp.c_str());
        return;
    }
    m_stamp = stampOf(m_path);
}

int Simulator::progressId(const double *progress)
{
    const auto it = m_progressIds.emplace(progress, int(m_progressIds.size()) + 1).first;
    return it->second;
}

Call::Call(const char *name)
    : m_sim(Simulator::instance())
    , m_lock(m_sim.mutex)
    , m_name(name)
    , m_text(std::string(name) + "(")
    , m_tracePath(environment("KDSIM_TRACE"))
{
    if (!m_sim.settingsUsable(m_tracePath)) {
        m_tracePath.clear();
        m_fate = Fate::Fail;
        return;
    }
    m_sim.refresh();
    m_fate = m_sim.countCall(m_name, &m_unwritten);
    m_sim.swapImages(m_name);
}

bool Call::leaves(const char *output) const
{
    return std::find(m_unwritten.begin(), m_unwritten.end(), output) != m_unwritten.end();
}

Call &Call::argValue(const char *text)
{
    if (m_args++ > 0)
        m_text += ", ";
    m_text += text;
    return *this;
}

Call &Call::arg(int value)
{
    return argValue(std::to_string(value).c_str());
}

Call &Call::arg(const int *value)
{
    return value ? arg(*value) : argValue("null");
}

Call &Call::arg(const KdDeviceType *value)
{
    return value ? arg(static_cast<int>(*value)) : argValue("null");
}

Call &Call::path(const char *path)
{
    return path ? argValue(("\"" + std::string(path) + "\"").c_str()) : argValue("null");
}

Call &Call::progress(const double &value)
{
    char number[32];
    std::snprintf(number, sizeof number, "%g", value);
    const std::string text = "d" + std::to_string(m_sim.progressId(&value)) + "=" + number;
    return argValue(text.c_str());
}

int Call::finish(int status, double seconds, const std::function<void()> &completion, double *progress)
{
    if (status == 0 && m_fate == Fate::BadStatus)
        status = 1;
    const int generation = m_sim.generation();
    const double duration = seconds * m_sim.scale();
    if (m_sim.progressStill())
        progress = nullptr;
    m_lock.unlock();
    pause(duration, progress);
    m_lock.lock();
    // A reload while sleeping means the instrument this call worked on is gone.
    if (completion && generation == m_sim.generation())
        completion();
    trace(std::to_string(status));
    return status;
}

int Call::refuse()
{
    return finish(1, 0.5);
}

int Call::reject(const std::string &why)
{
    if (!why.empty())
        std::cerr << "kdsim: " << m_name << ": " << why << '\n';
    return finish(1, 0);
}

const char *Call::finishText(const char *text)
{
    trace("\"" + std::string(text) + "\"");
    return text;
}

void Call::trace(const std::string &result)
{
    if (m_tracePath.empty())
        return;
    std::ofstream out(m_tracePath, std::ios::app);
    out << m_text << ") = " << result << '\n';
}

} // namespace kdsim
