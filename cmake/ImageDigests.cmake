# Run at build time, once the images exist (cmake -P, on the build host also
# when cross-building):
#
#   cmake -DFIRMWARE_DIR=<dir> -DIMAGES=<name,name,...> -DLIST=<SHA256SUMS> -DHEADER=<file.h>
#         -DMINISIGN=<minisign> -DKEYS=<key,key,...> -DRELEASE_COMMENT=<text>
#         [-DCOPY_TO=<dir>] -DSTAMP=<file> -P ImageDigests.cmake
#
# The list counts only once one of the trusted KEYS (minisign's base64) has
# verified its signature, <LIST>.minisig, and its trusted comment begins
# with RELEASE_COMMENT: the build stops with minisign's reason otherwise,
# before it takes a digest from it.
#
# The shipped images are the ones the signed list in the source names: each
# image the build made or was given is held to it, and the build stops with
# the name of one that differs, rather than trusting whatever the build tree
# holds. Writes the catalogue's table of each image's size and SHA-256 (the
# size of a file whose digest matched), and copies the list and its
# signature beside the images when COPY_TO is given. A file is rewritten
# only when its content changes, so that an unchanged image rebuilds nothing.

foreach(_var FIRMWARE_DIR IMAGES LIST HEADER STAMP MINISIGN KEYS RELEASE_COMMENT)
    if(NOT DEFINED ${_var})
        message(FATAL_ERROR "ImageDigests.cmake: ${_var} not given")
    endif()
endforeach()
string(REPLACE "," ";" _images "${IMAGES}")

# minisign prints the trusted comment once the signature and the comment's
# signature both hold, and why not otherwise.
string(REPLACE "," ";" _keys "${KEYS}")
set(_verified FALSE)
set(_reasons "")
foreach(_key IN LISTS _keys)
    execute_process(COMMAND "${MINISIGN}" -V -P "${_key}" -m "${LIST}" -x "${LIST}.minisig"
                    RESULT_VARIABLE _failed OUTPUT_VARIABLE _out ERROR_VARIABLE _err
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
    if(NOT _failed)
        set(_verified TRUE)
        string(REGEX MATCH "Trusted comment: ([^\n]*)" _ "${_out}")
        set(_comment "${CMAKE_MATCH_1}")
        break()
    endif()
    string(REPLACE "\n" " " _err "${_err}")
    string(APPEND _reasons "\n  key ${_key}: ${_err}")
endforeach()
if(NOT _verified)
    message(FATAL_ERROR "The list ${LIST} is not signed by a trusted key (KD740_TRUSTED_KEYS) in ${LIST}.minisig, "
                        "so no digest is taken from it:${_reasons}")
endif()
string(FIND "${_comment}" "${RELEASE_COMMENT}" _at)
if(NOT _at EQUAL 0)
    message(FATAL_ERROR "The list ${LIST} is not signed for this program: its trusted comment "
                        "'${_comment}' does not begin with '${RELEASE_COMMENT}'")
endif()

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
