#ifndef KDSIM_FIRMWAREIMAGE_H
#define KDSIM_FIRMWAREIMAGE_H

#include <cstdint>
#include <string>
#include <vector>

// Image files for the simulated instrument. The simulator only accepts what
// this module writes, so every kind of broken file the updater might be
// handed (wrong model, wrong part, damaged, empty) can be produced on demand.
//
// Layout, all integers little-endian:
//   0  char[4]  magic "KDIM"
//   4  uint16   format version (1)
//   6  uint16   part code (see Part)
//   8  int32    model
//  12  int32    version
//  16  uint32   payload length
//  20  payload
//  ..  uint32   CRC-32 (IEEE) over header and payload

namespace kdsim {

enum class Part { Boot = 1, Run = 2, Fpga = 3, Fx3 = 4 };

struct ImageInfo
{
    int model = 0;
    Part part = Part::Boot;
    int version = 0;
};

struct ShippedImage
{
    std::string fileName;
    int model;
    Part part;
    int version;
};

const char *partName(Part part);
bool partFromName(const std::string &name, Part *part);

std::uint32_t crc32(const unsigned char *data, std::size_t size);

std::vector<unsigned char> buildImage(const ImageInfo &info);
bool parseImage(const std::vector<unsigned char> &bytes, ImageInfo *info, std::string *error);

bool writeImage(const std::string &path, const ImageInfo &info, std::string *error);
bool readImage(const std::string &path, ImageInfo *info, std::string *error);

// The images that ship with the updater.
const std::vector<ShippedImage> &shippedImages();
bool writeShippedImages(const std::string &dir, std::string *error);

} // namespace kdsim

#endif
