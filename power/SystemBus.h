#ifndef SYSTEMBUS_H
#define SYSTEMBUS_H

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Requests to services on the system bus, through sd-bus on the calling
// thread. Each request has one deadline: connecting, authenticating, calling
// and reading the answers all end by then, however little or much the bus
// sends, and nothing is left running afterwards. The bus is the one D-Bus
// finds: DBUS_SYSTEM_BUS_ADDRESS, else the standard socket.
namespace SystemBus {

// Asked while a request waits: true gives up at once, as if nothing answered.
using GivesUp = std::function<bool()>;

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
// as they are.
std::vector<Answer> callForDescriptors(const std::vector<Call> &calls, std::chrono::milliseconds limit,
                                       const GivesUp &givesUp = {});

// One interface of one object, whose properties are read all at once.
struct Object
{
    std::string destination;
    std::string path;
    std::string interface;
};

// The boolean and numeric properties of an object, booleans as 0 or 1.
using Properties = std::map<std::string, double>;

// One entry per object, in the same order; empty where it did not answer.
std::vector<std::optional<Properties>> readProperties(const std::vector<Object> &objects,
                                                      std::chrono::milliseconds limit, const GivesUp &givesUp = {});

} // namespace SystemBus

#endif
