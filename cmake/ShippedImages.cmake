# The catalogue's table of shipped versions and image paths, generated from
# KD740_FIRMWARE_IMAGES so that each version and name is written once. A
# name is kd740<model>_<part>_[v]<version>.<ext>, model a, b or c, part
# boot, run, fpga or fx3 (the KD740C's program, kept as its boot part).
# Each model ships a boot (or FX3) and an FPGA image; a run image is optional.

set(KD740_SHIPPED_MODELS "")
set(_kd740_matched "")
foreach(_model IN ITEMS a b c)
    foreach(_part IN ITEMS boot run fpga)
        set(_kd740_${_part} "{ nullptr, 0 }")
    endforeach()
    foreach(_image IN LISTS KD740_FIRMWARE_IMAGES)
        if(NOT _image MATCHES "^kd740${_model}_(boot|run|fpga|fx3)_(v?)([0-9]+)\\.(img|rbf)$")
            continue()
        endif()
        set(_part ${CMAKE_MATCH_1})
        if(_part STREQUAL "fx3")
            set(_part boot)
        endif()
        if(NOT _kd740_${_part} STREQUAL "{ nullptr, 0 }")
            message(FATAL_ERROR "KD740_FIRMWARE_IMAGES: a second ${_part} image for KD740${_model}: ${_image}")
        endif()
        set(_kd740_${_part}
            "{ \"kd740${_model}_${CMAKE_MATCH_1}_${CMAKE_MATCH_2}%d.${CMAKE_MATCH_4}\", ${CMAKE_MATCH_3} }")
        list(APPEND _kd740_matched ${_image})
    endforeach()
    foreach(_part IN ITEMS boot fpga)
        if(_kd740_${_part} STREQUAL "{ nullptr, 0 }")
            message(FATAL_ERROR "KD740_FIRMWARE_IMAGES: no ${_part} image for KD740${_model}")
        endif()
    endforeach()
    string(TOUPPER ${_model} _name)
    string(APPEND KD740_SHIPPED_MODELS "    { ${_kd740_boot}, ${_kd740_run}, ${_kd740_fpga} }, // KD740${_name}\n")
endforeach()
foreach(_image IN LISTS KD740_FIRMWARE_IMAGES)
    if(NOT _image IN_LIST _kd740_matched)
        message(FATAL_ERROR "KD740_FIRMWARE_IMAGES: '${_image}' names no model, part and version")
    endif()
endforeach()

configure_file(${CMAKE_CURRENT_LIST_DIR}/../catalogue/ShippedImages.h.in
               ${CMAKE_BINARY_DIR}/generated/catalogue/ShippedImages.h @ONLY)
