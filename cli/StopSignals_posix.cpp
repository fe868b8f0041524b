#include "StopSignals.h"

#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int stopSignals[] = { SIGINT, SIGTERM, SIGHUP };

// The handler may only write; the notifier reads on the owning thread.
int signalPipe[2] = { -1, -1 };

void onSignal(int number)
{
    const char byte = static_cast<char>(number);
    // Nothing to do if it fails: the pipe is full of signals already.
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    for (int descriptor : signalPipe) {
        fcntl(descriptor, F_SETFD, FD_CLOEXEC);
        fcntl(descriptor, F_SETFL, O_NONBLOCK);
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (read(signalPipe[0], &byte, 1) == 1)
            emit received(byte);
    });

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : stopSignals)
        sigaction(number, &action, nullptr);
    // A reader that went away (a closed pipe, a closed terminal) must not end
    // the program in the middle of a write; the failed writes are ignored.
    std::signal(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals()
{
    for (int number : stopSignals)
        std::signal(number, SIG_DFL);
    for (int &descriptor : signalPipe) {
        if (descriptor >= 0)
            close(descriptor);
        descriptor = -1;
    }
}
