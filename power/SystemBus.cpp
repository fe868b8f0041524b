#include "power/SystemBus.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace SystemBus {
namespace {

using Clock = std::chrono::steady_clock;

// What the bus may send at most in one message here: the answers are a few
// hundred bytes, anything near this is not a bus.
constexpr std::uint32_t largestMessage = 1 << 20;
constexpr int descriptorsPerRead = 16;
constexpr std::uint32_t helloSerial = 1;

enum MessageType : char { MethodCall = 1, MethodReturn = 2, Error = 3 };
enum HeaderField : char {
    PathField = 1,
    InterfaceField = 2,
    MemberField = 3,
    ErrorNameField = 4,
    ReplySerialField = 5,
    DestinationField = 6,
    SignatureField = 8,
    UnixFdsField = 9
};

std::size_t aligned(std::size_t offset, std::size_t alignment)
{
    return (offset + alignment - 1) / alignment * alignment;
}

bool littleEndian()
{
    const std::uint16_t one = 1;
    char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Marshals in this machine's byte order, which the message's first byte names.
class Writer
{
public:
    void align(std::size_t alignment) { bytes.resize(aligned(bytes.size(), alignment), '\0'); }
    void byte(char value) { bytes += value; }
    void uint32(std::uint32_t value)
    {
        align(4);
        bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    }
    void string(const std::string &value)
    {
        uint32(static_cast<std::uint32_t>(value.size()));
        bytes += value;
        bytes += '\0';
    }
    void signature(const std::string &value)
    {
        byte(static_cast<char>(value.size()));
        bytes += value;
        bytes += '\0';
    }

    std::string bytes;
};

std::string methodCall(std::uint32_t serial, const Call &call)
{
    Writer body;
    for (const std::string &argument : call.arguments)
        body.string(argument);

    // Each field is a (code, variant) structure; the array starts at offset
    // 16, so alignments counted from its start hold in the message too.
    Writer fields;
    const auto field = [&fields](HeaderField code, const char *type, const std::string &value) {
        fields.align(8);
        fields.byte(code);
        fields.signature(type);
        if (type[0] == 'g')
            fields.signature(value);
        else
            fields.string(value);
    };
    field(PathField, "o", call.path);
    field(InterfaceField, "s", call.interface);
    field(MemberField, "s", call.member);
    field(DestinationField, "s", call.destination);
    if (!call.arguments.empty())
        field(SignatureField, "g", std::string(call.arguments.size(), 's'));

    Writer message;
    message.byte(littleEndian() ? 'l' : 'B');
    message.byte(MethodCall);
    message.byte(0); // flags: an answer is wanted
    message.byte(1); // protocol version
    message.uint32(static_cast<std::uint32_t>(body.bytes.size()));
    message.uint32(serial);
    message.uint32(static_cast<std::uint32_t>(fields.bytes.size()));
    message.bytes += fields.bytes;
    message.align(8);
    return message.bytes + body.bytes;
}

// Reads a message in the byte order its sender chose; any read past the end
// makes it unusable rather than reading beyond it.
class Reader
{
public:
    Reader(const std::string &bytes, std::size_t offset)
        : bytes(bytes)
        , offset(offset)
        , swapped((bytes[0] == 'l') != littleEndian())
    {
    }

    bool ok() const { return good; }
    std::size_t position() const { return offset; }
    void align(std::size_t alignment) { offset = aligned(offset, alignment); }
    char byte() { return take(1) ? bytes[offset - 1] : '\0'; }
    std::uint32_t uint32()
    {
        align(4);
        if (!take(4))
            return 0;
        std::uint32_t value = 0;
        std::memcpy(&value, bytes.data() + offset - 4, 4);
        return swapped ? __builtin_bswap32(value) : value;
    }
    std::string string(std::uint32_t length)
    {
        if (length > bytes.size() || !take(length + std::size_t(1)))
            return std::string();
        return bytes.substr(offset - length - 1, length);
    }
    // A value of one of the basic types the header fields use.
    std::string value(const std::string &type, std::uint32_t *number)
    {
        if (type == "u") {
            *number = uint32();
            return std::string();
        }
        if (type == "s" || type == "o")
            return string(uint32());
        if (type == "g")
            return string(static_cast<unsigned char>(byte()));
        good = false;
        return std::string();
    }

private:
    bool take(std::size_t count)
    {
        good = good && offset + count <= bytes.size();
        if (good)
            offset += count;
        return good;
    }

    const std::string &bytes;
    std::size_t offset;
    const bool swapped;
    bool good = true;
};

struct Message
{
    char type = 0;
    std::uint32_t replySerial = 0;
    std::uint32_t descriptors = 0;
    std::string errorName;
    std::string signature;
    std::string bytes;
    std::size_t bodyOffset = 0;
};

std::uint32_t headerNumber(const std::string &bytes, std::size_t offset)
{
    return Reader(bytes, offset).uint32();
}

bool parseHeader(Message *message)
{
    Reader reader(message->bytes, 16);
    const std::size_t end = 16 + headerNumber(message->bytes, 12);
    while (reader.ok() && reader.position() < end) {
        reader.align(8);
        const char code = reader.byte();
        const std::string type = reader.string(static_cast<unsigned char>(reader.byte()));
        std::uint32_t number = 0;
        const std::string text = reader.value(type, &number);
        switch (code) {
        case ErrorNameField: message->errorName = text; break;
        case ReplySerialField: message->replySerial = number; break;
        case SignatureField: message->signature = text; break;
        case UnixFdsField: message->descriptors = number; break;
        default: break;
        }
    }
    message->bodyOffset = aligned(end, 8);
    return reader.ok();
}

std::string unescaped(const std::string &value)
{
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            result += static_cast<char>(std::strtol(value.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            result += value[i];
        }
    }
    return result;
}

// The first Unix socket among the bus's addresses ("unix:path=...,guid=...;
// unix:abstract=..."), as D-Bus writes them.
bool socketAddress(sockaddr_un *address, socklen_t *length)
{
    const char *variable = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::string addresses = variable ? variable : "unix:path=/var/run/dbus/system_bus_socket";
    addresses += ';';
    for (std::size_t start = 0, end = 0; (end = addresses.find(';', start)) != std::string::npos; start = end + 1) {
        const std::string entry = addresses.substr(start, end - start) + ',';
        if (entry.compare(0, 5, "unix:") != 0)
            continue;
        for (std::size_t key = 5, comma = 0; (comma = entry.find(',', key)) != std::string::npos; key = comma + 1) {
            const std::string pair = entry.substr(key, comma - key);
            const bool abstract = pair.compare(0, 9, "abstract=") == 0;
            if (!abstract && pair.compare(0, 5, "path=") != 0)
                continue;
            const std::string path = unescaped(pair.substr(abstract ? 9 : 5));
            if (path.size() + 1 > sizeof address->sun_path)
                continue;
            *address = sockaddr_un {};
            address->sun_family = AF_UNIX;
            std::memcpy(address->sun_path + (abstract ? 1 : 0), path.data(), path.size());
            *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
            return true;
        }
    }
    return false;
}

// One connection, each of whose waits ends at the deadline. Descriptors
// that arrive with messages queue up in order until their message is read.
class Connection
{
public:
    explicit Connection(Clock::time_point deadline)
        : deadline(deadline)
    {
    }
    ~Connection()
    {
        if (socket >= 0)
            close(socket);
        for (const int descriptor : descriptors)
            close(descriptor);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool open();
    bool send(const std::string &bytes);
    bool readLine(std::string *line);
    bool readMessage(Message *message);
    int takeDescriptor();

    std::string problem;

private:
    bool fail(const std::string &what)
    {
        if (problem.empty())
            problem = what;
        return false;
    }
    bool failWithError(const char *call) { return fail(std::string(call) + ": " + std::strerror(errno)); }
    bool wait(short events);
    bool receive();

    const Clock::time_point deadline;
    int socket = -1;
    std::string buffer;
    std::deque<int> descriptors;
};

bool Connection::wait(short events)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return fail("the system bus did not answer in time");
        pollfd watched { socket, events, 0 };
        const int ready = poll(&watched, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return failWithError("poll");
    }
}

bool Connection::open()
{
    sockaddr_un address {};
    socklen_t length = 0;
    if (!socketAddress(&address, &length))
        return fail("no Unix socket in the system bus's address");
    socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return failWithError("socket");
    if (connect(socket, reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        if (errno != EINPROGRESS)
            return failWithError("connect to the system bus");
        int error = 0;
        socklen_t size = sizeof error;
        if (!wait(POLLOUT) || getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return fail("cannot connect to the system bus");
    }

    // The bus knows who we are from the socket; EXTERNAL only names the user.
    std::string user;
    for (const char digit : std::to_string(geteuid())) {
        static const char hex[] = "0123456789abcdef";
        user += hex[static_cast<unsigned char>(digit) >> 4];
        user += hex[digit & 0xf];
    }
    std::string answer;
    if (!send(std::string(1, '\0') + "AUTH EXTERNAL " + user + "\r\n") || !readLine(&answer))
        return false;
    if (answer.compare(0, 3, "OK ") != 0)
        return fail("the system bus refused us: " + answer);
    if (!send("NEGOTIATE_UNIX_FD\r\n") || !readLine(&answer))
        return false;
    if (answer != "AGREE_UNIX_FD")
        return fail("the system bus cannot pass descriptors: " + answer);
    return send("BEGIN\r\n");
}

bool Connection::send(const std::string &bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t count = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count >= 0) {
            sent += static_cast<std::size_t>(count);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!wait(POLLOUT))
                return false;
        } else if (errno != EINTR) {
            return failWithError("send to the system bus");
        }
    }
    return true;
}

bool Connection::receive()
{
    char data[4096];
    iovec part { data, sizeof data };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * descriptorsPerRead)];
    msghdr header {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t count = 0;
    while ((count = recvmsg(socket, &header, MSG_CMSG_CLOEXEC | MSG_DONTWAIT)) < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!wait(POLLIN))
                return false;
        } else if (errno != EINTR) {
            return failWithError("read from the system bus");
        }
    }
    for (cmsghdr *item = CMSG_FIRSTHDR(&header); item; item = CMSG_NXTHDR(&header, item)) {
        if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t received = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < received; ++i) {
            int descriptor = -1;
            std::memcpy(&descriptor, CMSG_DATA(item) + i * sizeof(int), sizeof(int));
            descriptors.push_back(descriptor);
        }
    }
    if ((header.msg_flags & MSG_CTRUNC) != 0)
        return fail("the system bus sent more descriptors than expected");
    if (count == 0)
        return fail("the system bus closed the connection");
    buffer.append(data, static_cast<std::size_t>(count));
    return true;
}

bool Connection::readLine(std::string *line)
{
    std::size_t end = 0;
    while ((end = buffer.find("\r\n")) == std::string::npos) {
        if (buffer.size() > 1024)
            return fail("the system bus sent an overlong line");
        if (!receive())
            return false;
    }
    *line = buffer.substr(0, end);
    buffer.erase(0, end + 2);
    return true;
}

bool Connection::readMessage(Message *message)
{
    while (buffer.size() < 16)
        if (!receive())
            return false;
    if (buffer[0] != 'l' && buffer[0] != 'B')
        return fail("the system bus sent something other than a message");
    const std::uint32_t bodyLength = headerNumber(buffer, 4);
    const std::uint32_t fieldsLength = headerNumber(buffer, 12);
    if (bodyLength > largestMessage || fieldsLength > largestMessage)
        return fail("the system bus sent an oversized message");
    const std::size_t size = aligned(16 + std::size_t(fieldsLength), 8) + bodyLength;
    while (buffer.size() < size)
        if (!receive())
            return false;
    *message = Message();
    message->type = buffer[1];
    message->bytes = buffer.substr(0, size);
    buffer.erase(0, size);
    if (!parseHeader(message) || message->descriptors > descriptors.size())
        return fail("the system bus sent a malformed message");
    return true;
}

int Connection::takeDescriptor()
{
    const int descriptor = descriptors.front();
    descriptors.pop_front();
    return descriptor;
}

// Fills in the answer to the call that message answers, if it answers one.
void take(Connection &connection, const Message &message, std::vector<Answer> &answers)
{
    std::vector<int> handed;
    for (std::uint32_t i = 0; i < message.descriptors; ++i)
        handed.push_back(connection.takeDescriptor());
    const std::uint32_t call = message.replySerial - helloSerial - 1;
    const bool answering = (message.type == MethodReturn || message.type == Error) && message.replySerial > helloSerial
        && call < answers.size() && answers[call].problem.empty() && answers[call].descriptor < 0;
    Reader body(message.bytes, message.bodyOffset);
    if (answering && message.type == Error) {
        answers[call].problem = message.errorName.empty() ? "refused" : message.errorName;
        if (message.signature.compare(0, 1, "s") == 0)
            answers[call].problem += ": " + body.string(body.uint32());
    } else if (answering) {
        const std::uint32_t index = message.signature == "h" ? body.uint32() : message.descriptors;
        if (body.ok() && index < handed.size())
            answers[call].descriptor = std::exchange(handed[index], -1);
        else
            answers[call].problem = "no descriptor in the answer";
    }
    for (const int descriptor : handed)
        if (descriptor >= 0)
            close(descriptor);
}

} // namespace

std::vector<Answer> callForDescriptors(const std::vector<Call> &calls, std::chrono::milliseconds limit)
{
    std::vector<Answer> answers(calls.size());
    Connection connection(Clock::now() + limit);
    // The bus wants Hello first; the calls follow without waiting for it.
    std::string requests = methodCall(
        helloSerial, { "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello", {} });
    for (std::size_t i = 0; i < calls.size(); ++i)
        requests += methodCall(static_cast<std::uint32_t>(helloSerial + 1 + i), calls[i]);

    const auto unanswered = [&answers] {
        std::size_t count = 0;
        for (const Answer &answer : answers)
            count += answer.descriptor < 0 && answer.problem.empty() ? 1 : 0;
        return count;
    };
    Message message;
    if (connection.open() && connection.send(requests)) {
        while (unanswered() > 0 && connection.readMessage(&message))
            take(connection, message, answers);
    }
    for (Answer &answer : answers) {
        if (answer.descriptor < 0 && answer.problem.empty())
            answer.problem = connection.problem;
    }
    return answers;
}

} // namespace SystemBus
