#include "FirmwareImage.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace kdsim {

namespace {

const char kMagic[4] = { 'K', 'D', 'I', 'M' };
const std::uint16_t kFormatVersion = 1;
const std::size_t kHeaderSize = 20;
const std::size_t kCrcSize = 4;
// Real images are megabytes; anything past this cannot be one of ours.
const std::uintmax_t kMaxFileSize = std::uintmax_t(16) * 1024 * 1024;

void putU16(std::vector<unsigned char> &out, std::uint16_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void putU32(std::vector<unsigned char> &out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

std::uint32_t getU32(const std::vector<unsigned char> &in, std::size_t at)
{
    return std::uint32_t(in[at]) | std::uint32_t(in[at + 1]) << 8 | std::uint32_t(in[at + 2]) << 16
        | std::uint32_t(in[at + 3]) << 24;
}

std::uint16_t getU16(const std::vector<unsigned char> &in, std::size_t at)
{
    return static_cast<std::uint16_t>(in[at] | in[at + 1] << 8);
}

std::size_t payloadSize(Part part)
{
    return part == Part::Fpga ? 16 * 1024 : 4 * 1024;
}

bool validPart(std::uint16_t code)
{
    return code >= std::uint16_t(Part::Boot) && code <= std::uint16_t(Part::Fx3);
}

bool fail(std::string *error, const std::string &reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

const char *partName(Part part)
{
    switch (part) {
    case Part::Boot: return "boot";
    case Part::Run: return "run";
    case Part::Fpga: return "fpga";
    case Part::Fx3: return "fx3";
    }
    return "?";
}

bool partFromName(const std::string &name, Part *part)
{
    for (Part p : { Part::Boot, Part::Run, Part::Fpga, Part::Fx3 }) {
        if (name == partName(p)) {
            *part = p;
            return true;
        }
    }
    return false;
}

std::uint32_t crc32(const unsigned char *data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<unsigned char> buildImage(const ImageInfo &info)
{
    std::vector<unsigned char> out(std::begin(kMagic), std::end(kMagic));
    putU16(out, kFormatVersion);
    putU16(out, static_cast<std::uint16_t>(info.part));
    putU32(out, static_cast<std::uint32_t>(info.model));
    putU32(out, static_cast<std::uint32_t>(info.version));
    const std::size_t size = payloadSize(info.part);
    putU32(out, static_cast<std::uint32_t>(size));

    // xorshift32 seeded from the identity, so the same image is always
    // byte-identical and two different images never are.
    std::uint32_t state = 0x9E3779B9u ^ std::uint32_t(info.model) * 0x85EBCA6Bu ^ std::uint32_t(info.part) * 0xC2B2AE35u
        ^ std::uint32_t(info.version) * 0x27D4EB2Fu;
    if (state == 0)
        state = 1;
    for (std::size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        out.push_back(static_cast<unsigned char>(state));
    }
    putU32(out, crc32(out.data(), out.size()));
    return out;
}

bool parseImage(const std::vector<unsigned char> &bytes, ImageInfo *info, std::string *error)
{
    if (bytes.empty())
        return fail(error, "empty file");
    if (bytes.size() < kHeaderSize + kCrcSize)
        return fail(error, "file too short for an image header");
    if (!std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()))
        return fail(error, "not an image file (bad magic)");
    if (getU16(bytes, 4) != kFormatVersion)
        return fail(error, "unsupported image format version");
    const std::uint16_t part = getU16(bytes, 6);
    if (!validPart(part))
        return fail(error, "unknown part code");
    const std::uint32_t length = getU32(bytes, 16);
    if (bytes.size() - kHeaderSize - kCrcSize != length)
        return fail(error, "payload length does not match file size (truncated?)");
    const std::size_t crcAt = bytes.size() - kCrcSize;
    if (crc32(bytes.data(), crcAt) != getU32(bytes, crcAt))
        return fail(error, "checksum mismatch (corrupt image)");

    info->part = static_cast<Part>(part);
    info->model = static_cast<std::int32_t>(getU32(bytes, 8));
    info->version = static_cast<std::int32_t>(getU32(bytes, 12));
    return true;
}

bool writeImage(const std::string &path, const ImageInfo &info, std::string *error)
{
    const std::vector<unsigned char> bytes = buildImage(info);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return fail(error, "cannot create " + path);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        return fail(error, "cannot write " + path);
    return true;
}

bool readImage(const std::string &path, ImageInfo *info, std::string *error)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return fail(error, "no such image file: " + path);
    if (std::filesystem::file_size(path, ec) > kMaxFileSize || ec)
        return fail(error, "image file too large: " + path);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "cannot read " + path);
    const std::vector<unsigned char> bytes { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    if (in.bad())
        return fail(error, "cannot read " + path);
    return parseImage(bytes, info, error);
}

// The build names the shipped files (KDSIM_SHIPPED_IMAGES, from the one list
// in CMakeLists.txt); each name says what its image holds, as the updater's
// catalogue expects: kd740<model letter>_<part>_[v]<version>.<img|rbf>.
const std::vector<ShippedImage> &shippedImages()
{
    static const std::vector<ShippedImage> images = [] {
        static const std::regex pattern("kd740([a-z])_(boot|run|fpga|fx3)_v?([0-9]+)\\.(img|rbf)");
        std::vector<ShippedImage> parsed;
        std::istringstream names(KDSIM_SHIPPED_IMAGES);
        std::string name;
        std::smatch match;
        while (names >> name) {
            ShippedImage image { name, 0, Part::Boot, 0 };
            if (!std::regex_match(name, match, pattern) || !partFromName(match[2], &image.part))
                throw std::logic_error("not a shipped image name: " + name);
            image.model = match[1].str()[0] - 'a';
            image.version = std::stoi(match[3]);
            parsed.push_back(image);
        }
        return parsed;
    }();
    return images;
}

bool writeShippedImages(const std::string &dir, std::string *error)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return fail(error, "cannot create directory " + dir + ": " + ec.message());
    for (const ShippedImage &image : shippedImages()) {
        const ImageInfo info { image.model, image.part, image.version };
        if (!writeImage((std::filesystem::path(dir) / image.fileName).string(), info, error))
            return false;
    }
    return true;
}

} // namespace kdsim
