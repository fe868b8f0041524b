#include "power/Battery.h"

#include <windows.h>

// Answered at once from what Windows already knows; nothing to wait for.
std::optional<double> batteryPercentOnBattery(std::chrono::milliseconds, const std::function<bool()> &)
{
    constexpr BYTE offline = 0;
    constexpr BYTE noBattery = 128;
    constexpr BYTE unknown = 255;
    SYSTEM_POWER_STATUS status {};
    if (!GetSystemPowerStatus(&status) || status.ACLineStatus != offline || status.BatteryFlag == unknown
        || (status.BatteryFlag & noBattery) != 0 || status.BatteryLifePercent > 100)
        return std::nullopt;
    return status.BatteryLifePercent;
}
