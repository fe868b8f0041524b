#ifndef CATALOGUE_H
#define CATALOGUE_H

#include <QByteArray>
#include <QString>

#include <cstdint>

// Model code as the device library reports it; values outside the three
// named models are kept unchanged and handled by every operation below.
using DeviceType = std::int32_t;

constexpr DeviceType KD740A = 0;
constexpr DeviceType KD740B = 1;
constexpr DeviceType KD740C = 2;

struct FirmwareTarget
{
    std::int32_t deviceType = 0;
    std::int32_t bootVersion = 0;
    std::int32_t runVersion = 0;
    std::int32_t fpgaVersion = 0;
};

// One of the three named models.
bool knownDeviceType(DeviceType type);
QString deviceTypeName(DeviceType type);
FirmwareTarget shippedFirmware(DeviceType type);
FirmwareTarget firmwareFromNetVersion(std::int32_t version);
QString versionString(const FirmwareTarget &firmware);

// The folder the images are opened in, as the library is given it: the
// window program keeps the default, the console program may name another.
// Set only while no sequence runs.
constexpr const char *defaultImageFolder = "./firmware";
void setImageFolder(const QByteArray &path);
QByteArray imageFolder();

// Paths are 8-bit because the device library takes them as char strings.
// They are empty where the model has no such image.
QByteArray bootImagePath(const FirmwareTarget &firmware);
QByteArray runImagePath(const FirmwareTarget &firmware);
QByteArray fpgaImagePath(const FirmwareTarget &firmware);

#endif
