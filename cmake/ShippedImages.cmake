# The catalogue's model table, generated from KD740_MODELS and
# KD740_FIRMWARE_IMAGES so that each model, version and name is written once.
# An image name is <model>_<part>_[v]<version>.<ext>, the model's name in
# lower case, part boot, run, fpga or fx3 (a network model's program, kept as
# its boot part). Each model ships a boot (or FX3) and an FPGA image; a run
# image is optional.

set(KD740_SHIPPED_MODELS "")
set(KD740_MODEL_NAMES "")
set(_kd740_matched "")
foreach(_entry IN LISTS KD740_MODELS)
    if(NOT _entry MATCHES "^([A-Za-z0-9]+):(-?[0-9]+):(usb|network)$")
        message(FATAL_ERROR "KD740_MODELS: '${_entry}' is not NAME:TYPE:usb|network")
    endif()
    set(_name ${CMAKE_MATCH_1})
    set(_type ${CMAKE_MATCH_2})
    set(_link Usb)
    if(CMAKE_MATCH_3 STREQUAL "network")
        set(_link Network)
    endif()
    string(TOLOWER ${_name} _prefix)
    list(APPEND KD740_MODEL_NAMES ${_name})
    foreach(_part IN ITEMS boot run fpga)
        set(_kd740_${_part} "{ nullptr, 0 }")
    endforeach()
    foreach(_image IN LISTS KD740_FIRMWARE_IMAGES)
        if(NOT _image MATCHES "^${_prefix}_(boot|run|fpga|fx3)_(v?)([0-9]+)\\.(img|rbf)$")
            continue()
        endif()
        set(_part ${CMAKE_MATCH_1})
        if(_part STREQUAL "fx3")
            set(_part boot)
        endif()
        if(NOT _kd740_${_part} STREQUAL "{ nullptr, 0 }")
            message(FATAL_ERROR "KD740_FIRMWARE_IMAGES: a second ${_part} image for ${_name}: ${_image}")
        endif()
        set(_kd740_${_part}
            "{ \"${_prefix}_${CMAKE_MATCH_1}_${CMAKE_MATCH_2}%d.${CMAKE_MATCH_4}\", ${CMAKE_MATCH_3} }")
        list(APPEND _kd740_matched ${_image})
    endforeach()
    foreach(_part IN ITEMS boot fpga)
        if(_kd740_${_part} STREQUAL "{ nullptr, 0 }")
            message(FATAL_ERROR "KD740_FIRMWARE_IMAGES: no ${_part} image for ${_name}")
        endif()
    endforeach()
    string(APPEND KD740_SHIPPED_MODELS
        "    { \"${_name}\", ${_type}, LinkKind::${_link}, ${_kd740_boot}, ${_kd740_run}, ${_kd740_fpga} },\n")
endforeach()
foreach(_image IN LISTS KD740_FIRMWARE_IMAGES)
    if(NOT _image IN_LIST _kd740_matched)
        message(FATAL_ERROR "KD740_FIRMWARE_IMAGES: '${_image}' names no model, part and version")
    endif()
endforeach()

# The names for a sentence: "KD740A, KD740B and KD740C", "... or KD740C".
list(GET KD740_MODEL_NAMES -1 _kd740_last)
set(_kd740_rest ${KD740_MODEL_NAMES})
list(REMOVE_AT _kd740_rest -1)
list(JOIN _kd740_rest ", " _kd740_rest)
if(_kd740_rest)
    set(KD740_MODELS_AND "${_kd740_rest} and ${_kd740_last}")
    set(KD740_MODELS_OR "${_kd740_rest} or ${_kd740_last}")
else()
    set(KD740_MODELS_AND "${_kd740_last}")
    set(KD740_MODELS_OR "${_kd740_last}")
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/../catalogue/ShippedImages.h.in
               ${CMAKE_BINARY_DIR}/generated/catalogue/ShippedImages.h @ONLY)
