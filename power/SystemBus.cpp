#include "power/SystemBus.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <utility>

#include <fcntl.h>

namespace SystemBus {
namespace {

using Clock = std::chrono::steady_clock;

// How often a request that may give up looks whether it does.
constexpr std::uint64_t givingUpCheckUs = 50000;

std::string errorText(const char *what, int negativeErrno)
{
    return std::string(what) + ": " + std::strerror(-negativeErrno);
}

// Calls sent together on one connection of their own, and what each was
// answered. sd-bus connects and authenticates without blocking; every wait
// here ends at the one deadline, which is looked at again after each message
// the bus delivers.
class Exchange
{
public:
    Exchange(Clock::time_point deadline, const GivesUp &givesUp)
        : deadline(deadline)
        , givesUp(givesUp)
    {
        const int result = sd_bus_open_system(&bus);
        if (result < 0) {
            bus = nullptr;
            problem = errorText("cannot connect to the system bus", result);
        }
    }
    ~Exchange()
    {
        for (Pending &call : calls) {
            sd_bus_slot_unref(call.slot);
            sd_bus_message_unref(call.reply);
        }
        // Never flushed: a bus that does not read would hold the close for ever.
        sd_bus_close_unref(bus);
    }
    Exchange(const Exchange &) = delete;
    Exchange &operator=(const Exchange &) = delete;

    // Sends a call whose arguments fill appends; its answer is reply(index)
    // once wait() has returned, in the order sent.
    void send(const std::string &destination, const std::string &path, const std::string &interface,
              const std::string &member, const std::function<int(sd_bus_message *)> &fill)
    {
        calls.emplace_back();
        calls.back().exchange = this;
        if (!bus)
            return;
        sd_bus_message *call = nullptr;
        int result = sd_bus_message_new_method_call(bus, &call, destination.c_str(), path.c_str(), interface.c_str(),
                                                    member.c_str());
        if (result >= 0)
            result = fill(call);
        if (result >= 0)
            result = sd_bus_call_async(bus, &calls.back().slot, call, &Exchange::answered, &calls.back(), timeLeft());
        sd_bus_message_unref(call);
        if (result < 0)
            calls.back().problem = errorText("cannot call on the system bus", result);
        else
            ++unanswered;
    }

    void wait()
    {
        while (bus && unanswered > 0) {
            if (Clock::now() >= deadline) {
                fail("the system bus did not answer in time");
                return;
            }
            if (givesUp && givesUp()) {
                fail("given up");
                return;
            }
            int result = sd_bus_process(bus, nullptr);
            if (result == 0)
                result = sd_bus_wait(bus, givesUp ? std::min(timeLeft(), givingUpCheckUs) : timeLeft());
            if (result < 0 && result != -EINTR) {
                fail(errorText("the system bus", result));
                return;
            }
        }
    }

    // The answer to the index-th call, an error answer included; null with
    // problemOf(index) saying why when there is none.
    sd_bus_message *reply(std::size_t index) const { return calls[index].reply; }
    std::string problemOf(std::size_t index) const
    {
        return calls[index].problem.empty() ? problem : calls[index].problem;
    }

private:
    struct Pending
    {
        Exchange *exchange = nullptr;
        sd_bus_slot *slot = nullptr;
        sd_bus_message *reply = nullptr;
        std::string problem;
    };

    static int answered(sd_bus_message *message, void *data, sd_bus_error *)
    {
        auto *call = static_cast<Pending *>(data);
        if (!call->reply) {
            call->reply = sd_bus_message_ref(message);
            --call->exchange->unanswered;
        }
        return 0;
    }

    std::uint64_t timeLeft() const
    {
        const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
        return left.count() > 0 ? static_cast<std::uint64_t>(left.count()) : 1;
    }

    void fail(const std::string &what)
    {
        if (problem.empty())
            problem = what;
    }

    const Clock::time_point deadline;
    const GivesUp givesUp;
    sd_bus *bus = nullptr;
    // Added at the end only, so that the callbacks' addresses hold.
    std::deque<Pending> calls;
    std::size_t unanswered = 0;
    std::string problem;
};

// The error a reply carries, or empty for a method's return.
std::string replyError(sd_bus_message *reply)
{
    const sd_bus_error *error = sd_bus_message_get_error(reply);
    if (!error)
        return std::string();
    std::string text = error->name ? error->name : "refused";
    if (error->message)
        text += std::string(": ") + error->message;
    return text;
}

// The property at the reader's position in a{sv}, if it is a boolean or a number.
void readProperty(sd_bus_message *reply, Properties &properties)
{
    const char *name = nullptr;
    char type = 0;
    const char *contents = nullptr;
    if (sd_bus_message_read(reply, "s", &name) < 0 || sd_bus_message_peek_type(reply, &type, &contents) < 0
        || !contents)
        return;
    union
    {
        int boolean;
        double number;
        std::uint32_t unsignedNumber;
    } value {};
    const std::string kind(contents);
    if (kind == "b" && sd_bus_message_read(reply, "v", "b", &value.boolean) >= 0)
        properties[name] = value.boolean ? 1 : 0;
    else if (kind == "d" && sd_bus_message_read(reply, "v", "d", &value.number) >= 0)
        properties[name] = value.number;
    else if (kind == "u" && sd_bus_message_read(reply, "v", "u", &value.unsignedNumber) >= 0)
        properties[name] = value.unsignedNumber;
    else
        sd_bus_message_skip(reply, "v");
}

std::optional<Properties> propertiesIn(sd_bus_message *reply)
{
    if (!reply || !replyError(reply).empty() || sd_bus_message_enter_container(reply, 'a', "{sv}") < 0)
        return std::nullopt;
    Properties properties;
    while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
        readProperty(reply, properties);
        if (sd_bus_message_exit_container(reply) < 0)
            return std::nullopt;
    }
    return properties;
}

} // namespace

std::vector<Answer> callForDescriptors(const std::vector<Call> &calls, std::chrono::milliseconds limit,
                                       const GivesUp &givesUp)
{
    Exchange exchange(Clock::now() + limit, givesUp);
    for (const Call &call : calls) {
        exchange.send(call.destination, call.path, call.interface, call.member, [&call](sd_bus_message *message) {
            for (const std::string &argument : call.arguments) {
                if (const int result = sd_bus_message_append_basic(message, 's', argument.c_str()); result < 0)
                    return result;
            }
            return 0;
        });
    }
    exchange.wait();

    std::vector<Answer> answers(calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        sd_bus_message *reply = exchange.reply(i);
        int descriptor = -1;
        if (!reply)
            answers[i].problem = exchange.problemOf(i);
        else if (!(answers[i].problem = replyError(reply)).empty())
            continue;
        else if (sd_bus_message_read(reply, "h", &descriptor) < 0)
            answers[i].problem = "no descriptor in the answer";
        // The message owns its descriptor; the copy outlives it.
        else if ((answers[i].descriptor = fcntl(descriptor, F_DUPFD_CLOEXEC, 3)) < 0)
            answers[i].problem = errorText("cannot keep the descriptor", -errno);
    }
    return answers;
}

std::vector<std::optional<Properties>> readProperties(const std::vector<Object> &objects,
                                                      std::chrono::milliseconds limit, const GivesUp &givesUp)
{
    Exchange exchange(Clock::now() + limit, givesUp);
    for (const Object &object : objects) {
        exchange.send(object.destination, object.path, "org.freedesktop.DBus.Properties", "GetAll",
                      [&object](sd_bus_message *message) {
                          return sd_bus_message_append_basic(message, 's', object.interface.c_str());
                      });
    }
    exchange.wait();

    std::vector<std::optional<Properties>> answers;
    for (std::size_t i = 0; i < objects.size(); ++i)
        answers.push_back(propertiesIn(exchange.reply(i)));
    return answers;
}

} // namespace SystemBus
