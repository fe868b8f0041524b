#ifndef DEVICECALL_H
#define DEVICECALL_H

#include "device/Unread.h"
#include "device/kd_api.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

// One library call as it happened: its arguments as they were passed, an
// out-parameter as the call left it.
struct DeviceCallReport
{
    const char *name;
    QString arguments;
    int status;
    std::chrono::microseconds duration;
};

// Told of every library call, on the thread that made it; it must not call
// the library itself.
class DeviceCallObserver
{
public:
    virtual ~DeviceCallObserver() = default;
    // Before the call, with its arguments as they are passed: a call that
    // never returns (the process killed in a write) is known all the same.
    virtual void starting(const char * /*name*/, const QString & /*arguments*/) {}
    virtual void called(const DeviceCallReport &report) = 0;
};

// For the calling thread alone: a run's session sets its own on each thread
// it starts, so that two runs in one process share nothing.
void setDeviceCallObserver(DeviceCallObserver *observer);

// Room for kdConfigNetGetDeviceList's answer. The count passed says one,
// as the calls always have, yet a library that lists every instrument it
// sees must not write past the room: there is room for far more. Only the
// first serial is ever used.
struct NetDeviceList
{
    NetDeviceList() { std::fill(std::begin(serials), std::end(serials), unread::number); }
    int serials[64];
    int count = 1;
    // The count the library gave: none where it wrote no serial, as the
    // count going in is the room and says nothing once left alone.
    int listed() const { return written(serials[0], unread::number) ? count : 0; }
};

// The library's version text, fit to be shown: it is the library's own.
// Asked only while no worker talks to the instrument.
QString libraryVersion();

namespace deviceCallDetail {

DeviceCallObserver *observer();
QString argumentText(int value);
QString argumentText(const char *value);
QString argumentText(const int *value);
QString argumentText(const KdDeviceType *value);
QString argumentText(double value);

template <typename... Args>
QString argumentsText(const Args &...args)
{
    return QStringList { argumentText(args)... }.join(QLatin1String(", "));
}

} // namespace deviceCallDetail

// Every kd_api call of the updater passes through here, so that whoever
// keeps a record sees each one, timed, in the order they were made.
template <typename Function, typename... Args>
auto deviceCall(const char *name, Function function, Args &&...args)
{
    DeviceCallObserver *observer = deviceCallDetail::observer();
    if (observer)
        observer->starting(name, deviceCallDetail::argumentsText(args...));
    const auto start = std::chrono::steady_clock::now();
    const auto status = function(std::forward<Args>(args)...);
    if (observer) {
        const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now()
                                                                                    - start);
        observer->called({ name, deviceCallDetail::argumentsText(args...), static_cast<int>(status), duration });
    }
    return status;
}

#define KD_CALL(function, ...) deviceCall(#function, function, __VA_ARGS__)

#endif
