// Preloaded into bench_stall to stand for a slow disk (a network home folder,
// a USB stick, a virus scanner): every fsync and fdatasync takes 100 ms more.

#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

constexpr std::chrono::milliseconds extra(100);

template <typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    std::this_thread::sleep_for(extra);
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    std::this_thread::sleep_for(extra);
    return real(fd);
}
