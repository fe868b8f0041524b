#include "catalogue/Catalogue.h"

#include "catalogue/ImageSource.h"
#include "catalogue/ShippedImages.h"

#include <QStringList>

#include <cstdio>

namespace {

const ShippedModel *shippedModel(DeviceType type)
{
    for (const ShippedModel &model : shippedModels) {
        if (model.type == type)
            return &model;
    }
    return nullptr;
}

// What the network's one version number means for each part: the FX3
// program's version is the number, the FPGA's follows from it.
struct NetVersion
{
    std::int32_t first;
    std::int32_t last;
    std::int32_t fpga;
};

constexpr NetVersion netVersions[] = { { 1, 3, 1 }, { 4, 4, 2 }, { 5, 5, 3 } };

QByteArray formatPath(const QByteArray &folder, const char *nameTemplate, std::int32_t version)
{
    if (!nameTemplate)
        return QByteArray();
    char name[128] = {};
    std::snprintf(name, sizeof name, nameTemplate, static_cast<int>(version));
    QByteArray path = folder;
    if (!path.isEmpty() && !path.endsWith('/') && !path.endsWith('\\'))
        path += '/';
    return path.append(name);
}

} // namespace

QVector<DeviceType> knownModels()
{
    QVector<DeviceType> types;
    for (const ShippedModel &model : shippedModels)
        types << model.type;
    return types;
}

bool knownDeviceType(DeviceType type)
{
    return shippedModel(type) != nullptr;
}

QString deviceTypeName(DeviceType type)
{
    const ShippedModel *model = shippedModel(type);
    return model ? QString::fromLatin1(model->name) : QStringLiteral("Invalid device type");
}

QString modelNamesText(const QString &lastSeparator)
{
    QStringList names;
    for (const ShippedModel &model : shippedModels)
        names << QString::fromLatin1(model.name);
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QLatin1String(", ")) + lastSeparator + last;
}

LinkKind linkOf(DeviceType type)
{
    const ShippedModel *model = shippedModel(type);
    return model ? model->link : LinkKind::Usb;
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

DeviceType networkModel()
{
    for (const ShippedModel &model : shippedModels) {
        if (model.link == LinkKind::Network)
            return model.type;
    }
    return -1;
}

FirmwareTarget firmwareFromNetVersion(std::int32_t version)
{
    for (const NetVersion &known : netVersions) {
        if (version >= known.first && version <= known.last)
            return { networkModel(), version, version, known.fpga };
    }
    return { networkModel(), 0, 0, 0 };
}

QString versionString(const FirmwareTarget &firmware)
{
    return QString::asprintf("%d.%d.%d", static_cast<int>(firmware.bootVersion), static_cast<int>(firmware.runVersion),
                             static_cast<int>(firmware.fpgaVersion));
}

QByteArray bootImagePath(const ImageSource &images, const FirmwareTarget &firmware)
{
    const ShippedModel *model = shippedModel(firmware.deviceType);
    return formatPath(images.folder(), model ? model->boot.nameTemplate : nullptr, firmware.bootVersion);
}

QByteArray runImagePath(const ImageSource &images, const FirmwareTarget &firmware)
{
    const ShippedModel *model = shippedModel(firmware.deviceType);
    return formatPath(images.folder(), model ? model->run.nameTemplate : nullptr, firmware.runVersion);
}

QByteArray fpgaImagePath(const ImageSource &images, const FirmwareTarget &firmware)
{
    const ShippedModel *model = shippedModel(firmware.deviceType);
    return formatPath(images.folder(), model ? model->fpga.nameTemplate : nullptr, firmware.fpgaVersion);
}
