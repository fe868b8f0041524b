// Writes image files the simulated instrument accepts: one image of any
// model, part and version, or the set that ships with the updater.

#include "FirmwareImage.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

int usage()
{
    std::cerr << "usage: kdsim-mkimage MODEL boot|run|fpga|fx3 VERSION OUTFILE\n"
                 "       kdsim-mkimage --shipped DIR\n"
                 "MODEL: KD740A, KD740B, KD740C (any case), or the model's number\n";
    return 2;
}

bool toInt(const char *text, int *value)
{
    errno = 0;
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

// KD740A is model 0, as the shipped images' names count them; any other
// integer makes an image of a model that does not exist.
bool toModel(const char *text, int *model)
{
    const std::string name(text);
    const std::string prefix = "kd740";
    if (name.size() == prefix.size() + 1 && std::isalpha(static_cast<unsigned char>(name.back()))) {
        std::string lower;
        for (const char c : name)
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.compare(0, prefix.size(), prefix) == 0) {
            *model = lower.back() - 'a';
            return true;
        }
    }
    return toInt(text, model);
}

int report(bool ok, const std::string &error)
{
    if (ok)
        return 0;
    std::cerr << "kdsim-mkimage: " << error << '\n';
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string error;
    if (argc == 3 && std::string(argv[1]) == "--shipped")
        return report(kdsim::writeShippedImages(argv[2], &error), error);

    if (argc != 5)
        return usage();
    kdsim::ImageInfo info;
    if (!toModel(argv[1], &info.model) || !kdsim::partFromName(argv[2], &info.part) || !toInt(argv[3], &info.version))
        return usage();
    return report(kdsim::writeImage(argv[4], info, &error), error);
}
