#include "catalogue/Catalogue.h"

#include <cstdio>

namespace {

struct ImageTemplates
{
    const char *boot;
    const char *run;
    const char *fpga;
};

const ImageTemplates *imageTemplates(DeviceType type)
{
    static const ImageTemplates templates[] = {
        { "./firmware/kd740a_boot_%d.img", "./firmware/kd740a_run_%d.img", "./firmware/kd740a_fpga_%d.rbf" },
        { "./firmware/kd740b_boot_%d.img", "./firmware/kd740b_run_%d.img", "./firmware/kd740b_fpga_%d.rbf" },
        { "./firmware/kd740c_fx3_v%d.img", nullptr, "./firmware/kd740c_fpga_v%d.rbf" },
    };
    if (!knownDeviceType(type))
        return nullptr;
    return &templates[type];
}

QByteArray formatPath(const char *pathTemplate, std::int32_t version)
{
    if (!pathTemplate)
        return QByteArray();
    char buffer[256] = {};
    std::snprintf(buffer, sizeof buffer, pathTemplate, static_cast<int>(version));
    return QByteArray(buffer);
}

} // namespace

bool knownDeviceType(DeviceType type)
{
    return type >= KD740A && type <= KD740C;
}

QString deviceTypeName(DeviceType type)
{
    switch (type) {
    case KD740A: return QStringLiteral("KD740A");
    case KD740B: return QStringLiteral("KD740B");
    case KD740C: return QStringLiteral("KD740C");
    default: return QStringLiteral("Invalid device type");
    }
}

FirmwareTarget shippedFirmware(DeviceType type)
{
    switch (type) {
    case KD740A: return { type, 4, 5, 9 };
    case KD740B: return { type, 4, 5, 12 };
    case KD740C: return { type, 5, 5, 3 };
    default: return { type, 0, 0, 0 };
    }
}

FirmwareTarget firmwareFromNetVersion(std::int32_t version)
{
    if (version >= 1 && version <= 3)
        return { KD740C, version, version, 1 };
    if (version == 4)
        return { KD740C, 4, 4, 2 };
    if (version == 5)
        return { KD740C, 5, 5, 3 };
    return { KD740C, 0, 0, 0 };
}

QString versionString(const FirmwareTarget &firmware)
{
    return QString::asprintf("%d.%d.%d", static_cast<int>(firmware.bootVersion), static_cast<int>(firmware.runVersion),
                             static_cast<int>(firmware.fpgaVersion));
}

QByteArray bootImagePath(const FirmwareTarget &firmware)
{
    const ImageTemplates *templates = imageTemplates(firmware.deviceType);
    return formatPath(templates ? templates->boot : nullptr, firmware.bootVersion);
}

QByteArray runImagePath(const FirmwareTarget &firmware)
{
    const ImageTemplates *templates = imageTemplates(firmware.deviceType);
    return formatPath(templates ? templates->run : nullptr, firmware.runVersion);
}

QByteArray fpgaImagePath(const FirmwareTarget &firmware)
{
    const ImageTemplates *templates = imageTemplates(firmware.deviceType);
    return formatPath(templates ? templates->fpga : nullptr, firmware.fpgaVersion);
}
