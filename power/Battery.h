#ifndef BATTERY_H
#define BATTERY_H

#include <chrono>
#include <functional>
#include <optional>

// The charge of the PC's battery, in percent, while the PC runs on it;
// empty on mains power, without a battery, or when the system does not
// answer within limit. May wait on the system for that long: never on the
// GUI thread; givesUp, asked meanwhile, can end the wait sooner. Each
// platform answers in a file of its own.
std::optional<double> batteryPercentOnBattery(std::chrono::milliseconds limit, const std::function<bool()> &givesUp);

#endif
