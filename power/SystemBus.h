#ifndef SYSTEMBUS_H
#define SYSTEMBUS_H

#include <chrono>
#include <string>
#include <vector>

// Calls on the system bus that answer with a file descriptor, as logind's
// Inhibit does. They are spoken straight over the bus's socket on the
// calling thread, each step waiting only until one deadline: connecting,
// authenticating, calling and reading the answers all end by then, whatever
// the bus does, and nothing is left running afterwards. A D-Bus library
// would block while connecting and keep a thread of its own that a silent
// bus can hold for ever.
namespace SystemBus {

// A method call whose arguments are all strings.
struct Call
{
    std::string destination;
    std::string path;
    std::string interface;
    std::string member;
    std::vector<std::string> arguments;
};

// The descriptor a call answered with, now the caller's to close; -1 and
// the reason when there is none.
struct Answer
{
    int descriptor = -1;
    std::string problem;
};

// One answer per call, in the same order. The calls go out together on one
// connection, but each is answered on its own: one refused leaves the others
// as they are. The bus is the one D-Bus finds: DBUS_SYSTEM_BUS_ADDRESS, else
// the standard socket; only Unix sockets are spoken.
std::vector<Answer> callForDescriptors(const std::vector<Call> &calls, std::chrono::milliseconds limit);

} // namespace SystemBus

#endif
