#include "power/WriteGuard.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The terminal's Ctrl+C, its closing, a plain kill, and the terminal's Ctrl+\.
constexpr std::array<int, 4> deferredSignals = { SIGINT, SIGTERM, SIGHUP, SIGQUIT };

// The self-pipe's write end, for the handler. The pipe is made once and kept
// for the life of the process, so that a handler still running on another
// thread as a guard ends never writes to a descriptor reused meanwhile.
std::atomic<int> signalPipe(-1);

void noteSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    // A full pipe already holds a byte to read, which is all that counts.
    [[maybe_unused]] const ssize_t written = write(signalPipe.load(), &byte, 1);
    errno = saved;
}

// The read end, or -1 when no pipe could be made.
int pipeReadEnd()
{
    static const int readEnd = [] {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            qWarning("Signals can end the process during the write: pipe2 failed (errno %d)", errno);
            return -1;
        }
        signalPipe.store(ends[1]);
        return ends[0];
    }();
    return readEnd;
}

// The first signal the handler noted since the last call, or 0.
int drain(int readEnd)
{
    int first = 0;
    char bytes[64];
    for (ssize_t count = 0; (count = read(readEnd, bytes, sizeof bytes)) > 0;) {
        if (first == 0)
            first = static_cast<unsigned char>(bytes[0]);
    }
    return first;
}

} // namespace

class WriteGuard::Platform
{
public:
    explicit Platform(WriteGuard &guard)
        : readEnd(pipeReadEnd())
    {
        if (readEnd < 0)
            return;
        drain(readEnd);
        notifier = std::make_unique<QSocketNotifier>(readEnd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &guard, [this, &guard] {
            if (const int signal = drain(readEnd))
                guard.requestEnd(signal);
        });
        // SA_RESTART: calls that a signal interrupts on any thread (the
        // device library's among them) carry on as if nothing came.
        struct sigaction deferring = {};
        deferring.sa_handler = noteSignal;
        deferring.sa_flags = SA_RESTART;
        sigemptyset(&deferring.sa_mask);
        for (std::size_t i = 0; i < deferredSignals.size(); ++i) {
            // One ignored already (nohup, a background job) stays ignored.
            sigaction(deferredSignals[i], nullptr, &previous[i]);
            taken[i] = previous[i].sa_handler != SIG_IGN && sigaction(deferredSignals[i], &deferring, nullptr) == 0;
        }
    }
    ~Platform() { restore(); }
    Platform(const Platform &) = delete;
    Platform &operator=(const Platform &) = delete;

    // Puts back what the signals did before; the signal that came meanwhile, or 0.
    int restore()
    {
        for (std::size_t i = 0; i < deferredSignals.size(); ++i) {
            if (std::exchange(taken[i], false))
                sigaction(deferredSignals[i], &previous[i], nullptr);
        }
        if (!notifier)
            return 0;
        notifier->setEnabled(false);
        return drain(readEnd);
    }

private:
    const int readEnd;
    std::unique_ptr<QSocketNotifier> notifier;
    std::array<struct sigaction, deferredSignals.size()> previous {};
    std::array<bool, deferredSignals.size()> taken {};
};

WriteGuard::WriteGuard()
    : platform(std::make_unique<Platform>(*this))
{
}

WriteGuard::~WriteGuard() = default;

bool WriteGuard::finish()
{
    // A signal that came after the last look at the pipe still counts.
    if (const int signal = platform->restore())
        requestEnd(signal);
    return endRequested;
}
