# cmake -DDAMAGE=<none|truncated|swapped> -DIMAGES=<dir> -DLIST=<SHA256SUMS> -DNAMES=<a,b,...>
#       -DSCRATCH=<dir> -DSCRIPT=<ImageDigests.cmake> -P check_shipped_images.cmake
#
# The build's own check of the shipped images, on a copy of them spoiled as
# DAMAGE says: it must stop with the name of the image that differs from the
# signed list, and pass the images as they are.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}/firmware")
string(REPLACE "," ";" _names "${NAMES}")
foreach(_name IN LISTS _names)
    file(COPY "${IMAGES}/${_name}" DESTINATION "${SCRATCH}/firmware")
endforeach()
set(_spoiled "${SCRATCH}/firmware/kd740b_fpga_12.rbf")
if(DAMAGE STREQUAL "truncated")
    execute_process(COMMAND truncate -s 8000 "${_spoiled}" RESULT_VARIABLE _failed)
    if(_failed)
        message(FATAL_ERROR "could not truncate ${_spoiled}")
    endif()
elseif(DAMAGE STREQUAL "swapped")
    configure_file("${SCRATCH}/firmware/kd740a_fpga_9.rbf" "${_spoiled}" COPYONLY)
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" "-DFIRMWARE_DIR=${SCRATCH}/firmware" "-DIMAGES=${NAMES}" "-DLIST=${LIST}"
                        "-DHEADER=${SCRATCH}/ShippedDigests.h" "-DSTAMP=${SCRATCH}/stamp" -P "${SCRIPT}"
                RESULT_VARIABLE _status ERROR_VARIABLE _said OUTPUT_VARIABLE _out)
# CMake wraps a long message; its words are what count.
string(REGEX REPLACE "[ \n]+" " " _said "${_said}")
if(DAMAGE STREQUAL "none")
    if(_status OR NOT EXISTS "${SCRATCH}/ShippedDigests.h")
        message(FATAL_ERROR "the shipped images were refused: ${_said}")
    endif()
elseif(NOT _status OR NOT _said MATCHES "differs from the signed list [^ ]*: ${_spoiled} ")
    message(FATAL_ERROR "a ${DAMAGE} image was taken (status '${_status}'): ${_said}")
endif()
