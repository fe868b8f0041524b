#include "catalogue/Catalogue.h"

#include "catalogue/ShippedImages.h"

#include <cstdio>

namespace {

const ShippedModel *shippedModel(DeviceType type)
{
    if (!knownDeviceType(type))
        return nullptr;
    return &shippedModels[type];
}

QByteArray &folder()
{
    static QByteArray path = defaultImageFolder;
    return path;
}

QByteArray formatPath(const char *nameTemplate, std::int32_t version)
{
    if (!nameTemplate)
        return QByteArray();
    char name[128] = {};
    std::snprintf(name, sizeof name, nameTemplate, static_cast<int>(version));
    QByteArray path = folder();
    if (!path.isEmpty() && !path.endsWith('/') && !path.endsWith('\\'))
        path += '/';
    return path.append(name);
}

} // namespace

void setImageFolder(const QByteArray &path)
{
    folder() = path;
}

QByteArray imageFolder()
{
    return folder();
}

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

// A model without a run image reports its one program's version as both
// boot and run version (firmwareFromNetVersion).
FirmwareTarget shippedFirmware(DeviceType type)
{
    const ShippedModel *model = shippedModel(type);
    if (!model)
        return { type, 0, 0, 0 };
    const ShippedImage &run = model->run.nameTemplate ? model->run : model->boot;
    return { type, model->boot.version, run.version, model->fpga.version };
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
    const ShippedModel *model = shippedModel(firmware.deviceType);
    return formatPath(model ? model->boot.nameTemplate : nullptr, firmware.bootVersion);
}

QByteArray runImagePath(const FirmwareTarget &firmware)
{
    const ShippedModel *model = shippedModel(firmware.deviceType);
    return formatPath(model ? model->run.nameTemplate : nullptr, firmware.runVersion);
}

QByteArray fpgaImagePath(const FirmwareTarget &firmware)
{
    const ShippedModel *model = shippedModel(firmware.deviceType);
    return formatPath(model ? model->fpga.nameTemplate : nullptr, firmware.fpgaVersion);
}
