# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads, which
# std::thread needs) against the Qt that scripts/build-qt-mingw.sh installs.
# Programs the build or CTest runs go through Wine (scripts/wine-run.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_kd740_target x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_kd740_target}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_kd740_target}-g++-posix)
set(CMAKE_RC_COMPILER ${_kd740_target}-windres)

if(NOT KD740_QT_MINGW)
    if(DEFINED ENV{KD740_QT_MINGW})
        set(KD740_QT_MINGW "$ENV{KD740_QT_MINGW}")
    else()
        set(KD740_QT_MINGW "$ENV{HOME}/.cache/kd740/qt5-mingw")
    endif()
endif()
set(KD740_QT_MINGW "${KD740_QT_MINGW}" CACHE PATH "Qt built for Windows by scripts/build-qt-mingw.sh")
# try_compile projects see only what is listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KD740_QT_MINGW)

# libsodium, built for Windows by scripts/build-sodium-mingw.sh; pkg-config
# reads its .pc there and nowhere on the host.
if(NOT KD740_SODIUM_MINGW)
    if(DEFINED ENV{KD740_SODIUM_MINGW})
        set(KD740_SODIUM_MINGW "$ENV{KD740_SODIUM_MINGW}")
    else()
        set(KD740_SODIUM_MINGW "$ENV{HOME}/.cache/kd740/sodium-mingw")
    endif()
endif()
set(KD740_SODIUM_MINGW "${KD740_SODIUM_MINGW}" CACHE PATH "libsodium built for Windows by scripts/build-sodium-mingw.sh")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KD740_SODIUM_MINGW)
set(ENV{PKG_CONFIG_LIBDIR} "${KD740_SODIUM_MINGW}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Libraries and packages from the MinGW sysroot, the Windows Qt and
# libsodium only; the programs (Qt's moc, uic, rcc among them) are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${_kd740_target} "${KD740_QT_MINGW}" "${KD740_SODIUM_MINGW}")
set(CMAKE_PREFIX_PATH "${KD740_QT_MINGW}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
# Wine shows the host's / as drive Z:. A test that was given a build path at
# compile time needs it in that form once it works in a folder on drive C:.
set(KD740_EMULATED_PATH_PREFIX "Z:")
