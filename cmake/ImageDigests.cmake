# Run at build time, once the images exist (cmake -P, on the build host also
# when cross-building):
#
#   cmake -DFIRMWARE_DIR=<dir> -DIMAGES=<name,name,...> -DHEADER=<file.h> -DSUMS=<SHA256SUMS> -DSTAMP=<file> -P ImageDigests.cmake
#
# Writes the catalogue's table of each shipped image's size and SHA-256, and
# the same digests as sha256sum writes them, so that a copy of the image
# folder can be checked too. A file is rewritten only when its content
# changes, so that an unchanged image rebuilds nothing.

foreach(_var FIRMWARE_DIR IMAGES HEADER SUMS STAMP)
    if(NOT DEFINED ${_var})
        message(FATAL_ERROR "ImageDigests.cmake: ${_var} not given")
    endif()
endforeach()
string(REPLACE "," ";" _images "${IMAGES}")

set(_table "")
set(_sums "")
foreach(_image IN LISTS _images)
    set(_path "${FIRMWARE_DIR}/${_image}")
    if(NOT EXISTS "${_path}" OR IS_DIRECTORY "${_path}")
        message(FATAL_ERROR "Shipped firmware image missing: ${_path}")
    endif()
    file(SIZE "${_path}" _size)
    file(SHA256 "${_path}" _hash)
    string(APPEND _table "    { \"${_image}\", ${_size}, \"${_hash}\" },\n")
    string(APPEND _sums "${_hash}  ${_image}\n")
endforeach()

function(_kd740_write_if_changed path content)
    if(EXISTS "${path}")
        file(READ "${path}" _old)
        if(_old STREQUAL content)
            return()
        endif()
    endif()
    file(WRITE "${path}" "${content}")
endfunction()

_kd740_write_if_changed("${HEADER}" "// Generated at build time by cmake/ImageDigests.cmake from the images in
// ${FIRMWARE_DIR}: the one list is KD740_FIRMWARE_IMAGES.
#ifndef SHIPPEDDIGESTS_H
#define SHIPPEDDIGESTS_H

struct ShippedDigest
{
    const char *fileName;
    long long size;
    const char *sha256; // lower-case hexadecimal
};

constexpr ShippedDigest shippedDigests[] = {
${_table}};

#endif
")
_kd740_write_if_changed("${SUMS}" "${_sums}")
file(TOUCH "${STAMP}")
