#ifndef KDSIM_REPLACEFILE_H
#define KDSIM_REPLACEFILE_H

#include <string>

namespace kdsim {

// Puts the file `from` in the place of `to` in one step, so a reader sees the
// old text or the new, never a part of either. False if `to` is unchanged.
bool replaceFile(const std::string &from, const std::string &to);

} // namespace kdsim

#endif
