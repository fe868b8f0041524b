#ifndef UNREAD_H
#define UNREAD_H

#include "catalogue/Catalogue.h"

#include <cstdint>
#include <limits>

// What each output of a library call holds until the call writes it: a
// value no instrument reports. An output the library left alone then reads
// as the failed read it is, never as a model, a serial or a version.
namespace unread {

// Outside the model table, and far from any code a library reports for a
// model it does not name.
constexpr DeviceType model = std::numeric_limits<std::int32_t>::min();
// A serial, a version or a status: an instrument reports none below 0.
constexpr std::int32_t number = -1;
constexpr int handle = -1;

} // namespace unread

// Whether the call wrote the output: it holds something else than it was given.
inline bool written(std::int32_t output, std::int32_t unset)
{
    return output != unset;
}

#endif
