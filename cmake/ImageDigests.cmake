# Run at build time, once the images exist (cmake -P, on the build host also
# when cross-building):
#
#   cmake -DFIRMWARE_DIR=<dir> -DIMAGES=<name,name,...> -DLIST=<SHA256SUMS> -DHEADER=<file.h>
#         [-DCOPY_TO=<dir>] -DSTAMP=<file> -P ImageDigests.cmake
#
# The shipped images are the ones the signed list in the source names: each
# image the build made or was given is held to it, and the build stops with
# the name of one that differs, rather than trusting whatever the build tree
# holds. Writes the catalogue's table of each image's size and SHA-256 (the
# size of a file whose digest matched), and copies the list and its
# signature beside the images when COPY_TO is given. A file is rewritten
# only when its content changes, so that an unchanged image rebuilds nothing.

foreach(_var FIRMWARE_DIR IMAGES LIST HEADER STAMP)
    if(NOT DEFINED ${_var})
        message(FATAL_ERROR "ImageDigests.cmake: ${_var} not given")
    endif()
endforeach()
string(REPLACE "," ";" _images "${IMAGES}")

file(STRINGS "${LIST}" _lines)
set(_listed "")
foreach(_line IN LISTS _lines)
    if(NOT _line MATCHES "^([0-9a-f]+)  (.+)$")
        message(FATAL_ERROR "Not a line of sha256sum's: '${_line}' in ${LIST}")
    endif()
    set(_listed_${CMAKE_MATCH_2} "${CMAKE_MATCH_1}")
    list(APPEND _listed "${CMAKE_MATCH_2}")
endforeach()
list(SORT _listed)
set(_shipped ${_images})
list(SORT _shipped)
if(NOT _listed STREQUAL _shipped)
    message(FATAL_ERROR "${LIST} lists '${_listed}', not the shipped images '${_shipped}'")
endif()

set(_table "")
foreach(_image IN LISTS _images)
    set(_path "${FIRMWARE_DIR}/${_image}")
    if(NOT EXISTS "${_path}" OR IS_DIRECTORY "${_path}")
        message(FATAL_ERROR "Shipped firmware image missing: ${_path}")
    endif()
    file(SHA256 "${_path}" _hash)
    if(NOT _hash STREQUAL _listed_${_image})
        message(FATAL_ERROR "Shipped firmware image differs from the signed list ${LIST}: ${_path}\n"
                            "  listed: ${_listed_${_image}}\n  found:  ${_hash}")
    endif()
    file(SIZE "${_path}" _size)
    string(APPEND _table "    { \"${_image}\", ${_size}, \"${_hash}\" },\n")
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

_kd740_write_if_changed("${HEADER}" "// Generated at build time by cmake/ImageDigests.cmake from the signed list
// ${LIST}, once each image matched it.
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
if(DEFINED COPY_TO)
    foreach(_file "${LIST}" "${LIST}.minisig")
        file(READ "${_file}" _content)
        get_filename_component(_name "${_file}" NAME)
        _kd740_write_if_changed("${COPY_TO}/${_name}" "${_content}")
    endforeach()
endif()
file(TOUCH "${STAMP}")
