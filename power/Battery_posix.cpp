#include "power/Battery.h"

#include "power/SystemBus.h"

namespace {

// UPower's device type of a battery that powers the PC.
constexpr double batteryType = 2;

} // namespace

// UPower's display device stands for all the PC's batteries together.
std::optional<double> batteryPercentOnBattery(std::chrono::milliseconds limit, const std::function<bool()> &givesUp)
{
    const std::vector<std::optional<SystemBus::Properties>> answers = SystemBus::readProperties(
        { { "org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower" },
          { "org.freedesktop.UPower", "/org/freedesktop/UPower/devices/DisplayDevice",
            "org.freedesktop.UPower.Device" } },
        limit, givesUp);
    if (!answers[0] || !answers[1])
        return std::nullopt;
    const SystemBus::Properties &upower = *answers[0];
    const SystemBus::Properties &display = *answers[1];
    const auto value = [](const SystemBus::Properties &properties, const char *name) {
        const auto found = properties.find(name);
        return found == properties.end() ? -1.0 : found->second;
    };
    if (value(upower, "OnBattery") != 1 || value(display, "IsPresent") != 1 || value(display, "Type") != batteryType
        || value(display, "Percentage") < 0)
        return std::nullopt;
    return value(display, "Percentage");
}
