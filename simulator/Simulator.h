#ifndef KDSIM_SIMULATOR_H
#define KDSIM_SIMULATOR_H

#include "Description.h"
#include "device/kd_api.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kdsim {

// How an instrument was opened; each family of calls only works on its own.
enum class Session { Device, UsbConfig, Net };

// What the fault lines make of one call.
enum class Fate { Normal, Fail, BadStatus, Lost, Vanished, VanishesNow };

// The simulated hardware: the one process-wide state of this library.
// Every member is used with mutex held (see Call).
class Simulator
{
public:
    static Simulator &instance();

    std::mutex mutex;

    // KDSIM_DEVICE and tracePath name regular files, or nothing that
    // exists (the trace is then created). Otherwise every call fails, and
    // standard error says why once: reading a FIFO would wait for ever, and
    // a folder or a device is no description.
    bool settingsUsable(const std::string &tracePath);
    void refresh();
    // unwritten: the outputs the call leaves as they were.
    Fate countCall(const std::string &name, std::vector<std::string> *unwritten);
    // Does what the swap lines ask at the start of the call's first use.
    void swapImages(const std::string &name);
    double scale() const;
    int generation() const { return m_generation; }
    bool progressStill() const { return m_description.progressStill; }

    const char *apiVersion();
    std::vector<Instrument> &instruments() { return m_description.instruments; }

    static int handleOf(int index) { return 100 + index; }
    Instrument *opened(int handle, Session session);
    bool open(int index, Session session);
    void reopen(int index, Session session);
    bool close(int handle, Session session);

    // Writes the instruments back to the description file.
    void changed();
    int progressId(const double *progress);

private:
    struct FileStamp
    {
        bool exists = false;
        std::string bytes;
        std::filesystem::file_time_type modified;
        bool operator==(const FileStamp &other) const;
    };

    Simulator() = default;
    void load(const std::string &path, const FileStamp &stamp);
    static FileStamp stampOf(const std::string &path);

    bool m_loaded = false;
    std::string m_path;
    FileStamp m_stamp;
    Description m_description;
    int m_generation = 0;
    int m_calls = 0;
    std::map<std::string, int> m_uses;
    std::size_t m_swapsDone = 0; // those of the description, in order, once per load
    std::map<int, Session> m_open; // by instrument index
    std::map<const double *, int> m_progressIds;
    std::deque<std::string> m_apiVersions; // handed out; never freed
    std::string m_settingsProblem; // the last one told
};

// One call into the library: holds the lock, applies the fault lines and
// writes its trace line once it is done.
class Call
{
public:
    explicit Call(const char *name);

    Call &arg(int value);
    Call &arg(const int *value);
    Call &arg(const KdDeviceType *value);
    Call &argValue(const char *text);
    Call &path(const char *path);
    Call &progress(const double &value);

    Simulator &sim() { return m_sim; }
    Fate fate() const { return m_fate; }
    bool refused() const { return m_fate == Fate::Fail || vanished(); }
    bool vanished() const { return m_fate == Fate::Vanished || m_fate == Fate::VanishesNow; }
    bool lost() const { return m_fate == Fate::Lost; }
    // Whether the call leaves the out-parameter of that name as it was.
    bool leaves(const char *output) const;

    // Ends the call: sleeps the scaled duration (counting progress up to
    // 100 if given), then runs completion and writes the trace line.
    int finish(int status, double seconds, const std::function<void()> &completion = {}, double *progress = nullptr);
    // The instrument did not answer or reported an error.
    int refuse();
    // Refused by the library itself before anything reached the instrument.
    int reject(const std::string &why = std::string());
    const char *finishText(const char *text);

private:
    Simulator &m_sim;
    std::unique_lock<std::mutex> m_lock;
    std::string m_name;
    std::string m_text;
    std::string m_tracePath;
    int m_args = 0;
    Fate m_fate = Fate::Normal;
    std::vector<std::string> m_unwritten;

    void trace(const std::string &result);
};

} // namespace kdsim

#endif
