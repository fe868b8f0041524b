# cmake -DDAMAGE=<none|truncated|swapped|edited|withdrawn> -DIMAGES=<dir> -DLIST=<SHA256SUMS> -DNAMES=<a,b,...>
#       -DMINISIGN=<minisign> -DKEYS=<key,key,...> -DRELEASE_COMMENT=<text> -DTEST_KEYS=<dir>
#       -DSCRATCH=<dir> -DSCRIPT=<ImageDigests.cmake> -P check_shipped_images.cmake
#
# The build's own check of the shipped images, on a copy of them and their
# list spoiled as DAMAGE says: an image that differs from the signed list
# stops it with its name; a list edited to match such an image, or signed
# by a trusted key (the tests' own, from TEST_KEYS) with a comment that is
# no release of this program, stops it before any digest is taken. The
# images and list as they are pass.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}/firmware")
string(REPLACE "," ";" _names "${NAMES}")
foreach(_name IN LISTS _names)
    file(COPY "${IMAGES}/${_name}" DESTINATION "${SCRATCH}/firmware")
endforeach()
set(_list "${SCRATCH}/SHA256SUMS")
configure_file("${LIST}" "${_list}" COPYONLY)
configure_file("${LIST}.minisig" "${_list}.minisig" COPYONLY)
set(_keys "${KEYS}")
set(_spoiled "${SCRATCH}/firmware/kd740b_fpga_12.rbf")
if(DAMAGE STREQUAL "truncated")
    execute_process(COMMAND truncate -s 8000 "${_spoiled}" RESULT_VARIABLE _failed)
    if(_failed)
        message(FATAL_ERROR "could not truncate ${_spoiled}")
    endif()
elseif(DAMAGE MATCHES "swapped|edited")
    configure_file("${SCRATCH}/firmware/kd740a_fpga_9.rbf" "${_spoiled}" COPYONLY)
endif()
if(DAMAGE STREQUAL "edited")
    file(SHA256 "${_spoiled}" _new)
    file(READ "${_list}" _text)
    string(REGEX REPLACE "[0-9a-f]+  kd740b_fpga_12.rbf" "${_new}  kd740b_fpga_12.rbf" _text "${_text}")
    file(WRITE "${_list}" "${_text}")
elseif(DAMAGE STREQUAL "withdrawn")
    execute_process(COMMAND "${MINISIGN}" -S -s "${TEST_KEYS}/trusted.key" -m "${_list}" -x "${_list}.minisig"
                            -t "WITHDRAWN, do not install: ${RELEASE_COMMENT}2.0.1"
                    RESULT_VARIABLE _failed OUTPUT_QUIET)
    file(STRINGS "${TEST_KEYS}/trusted.pub" _test_key REGEX "^RW")
    string(APPEND _keys ",${_test_key}")
    if(_failed)
        message(FATAL_ERROR "could not sign ${_list} with the tests' key")
    endif()
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" "-DFIRMWARE_DIR=${SCRATCH}/firmware" "-DIMAGES=${NAMES}" "-DLIST=${_list}"
                        "-DMINISIGN=${MINISIGN}" "-DKEYS=${_keys}" "-DRELEASE_COMMENT=${RELEASE_COMMENT}"
                        "-DHEADER=${SCRATCH}/ShippedDigests.h" "-DSTAMP=${SCRATCH}/stamp" -P "${SCRIPT}"
                RESULT_VARIABLE _status ERROR_VARIABLE _said OUTPUT_VARIABLE _out)
# CMake wraps a long message; its words are what count.
string(REGEX REPLACE "[ \n]+" " " _said "${_said}")
set(_reason_truncated "differs from the signed list [^ ]*: ${_spoiled} ")
set(_reason_swapped "${_reason_truncated}")
set(_reason_edited "is not signed by a trusted key .* Signature verification failed")
set(_reason_withdrawn "is not signed for this program: its trusted comment 'WITHDRAWN")
if(DAMAGE STREQUAL "none")
    if(_status OR NOT EXISTS "${SCRATCH}/ShippedDigests.h")
        message(FATAL_ERROR "the shipped images were refused: ${_said}")
    endif()
elseif(NOT _status OR NOT _said MATCHES "${_reason_${DAMAGE}}" OR EXISTS "${SCRATCH}/ShippedDigests.h")
    message(FATAL_ERROR "a ${DAMAGE} image or list was taken (status '${_status}'): ${_said}")
endif()
