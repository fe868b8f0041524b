#ifndef CATALOGUE_H
#define CATALOGUE_H

#include "catalogue/LinkKind.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

class ImageSource;

// Model code as the device library reports it; values outside the model
// table are kept unchanged and handled by every operation below.
using DeviceType = std::int32_t;

// The codes of today's models, as tests and examples name them. What a model
// is and does comes from the model table (cmake/ShippedImages.cmake), never
// from a comparison with one of these.
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

// The models of the table, in the order they are listed to the user.
QVector<DeviceType> knownModels();
// One of the models of the table.
bool knownDeviceType(DeviceType type);
QString deviceTypeName(DeviceType type);
// "KD740A, KD740B or KD740C": the table's names for a sentence.
QString modelNamesText(const QString &lastSeparator);
// The link of a model of the table; a code outside it was read over USB.
LinkKind linkOf(DeviceType type);
FirmwareTarget shippedFirmware(DeviceType type);
// A network model reports one number for all its parts.
FirmwareTarget firmwareFromNetVersion(std::int32_t version);
// The model the network check finds: it reads no model code.
DeviceType networkModel();
QString versionString(const FirmwareTarget &firmware);

// Paths are 8-bit because the device library takes them as char strings.
// They are empty where the model has no such image, else in the folder of
// images.
QByteArray bootImagePath(const ImageSource &images, const FirmwareTarget &firmware);
QByteArray runImagePath(const ImageSource &images, const FirmwareTarget &firmware);
QByteArray fpgaImagePath(const ImageSource &images, const FirmwareTarget &firmware);

#endif
