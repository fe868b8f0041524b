# Icon, manifest and version block of the Windows executable.
if(WIN32)
    enable_language(RC)
    set(_kd740_rc "${CMAKE_CURRENT_SOURCE_DIR}/app/resources/kd740-updater.rc")
    target_sources(kd740-updater PRIVATE "${_kd740_rc}")
    # The script names its icon and manifest relative to itself.
    set_property(SOURCE "${_kd740_rc}" APPEND PROPERTY INCLUDE_DIRECTORIES
                 "${CMAKE_CURRENT_SOURCE_DIR}/app/resources")
    set_property(SOURCE "${_kd740_rc}" APPEND PROPERTY OBJECT_DEPENDS
                 "${CMAKE_CURRENT_SOURCE_DIR}/app/resources/kd740-updater.ico"
                 "${CMAKE_CURRENT_SOURCE_DIR}/app/resources/kd740-updater.manifest")
    if(MSVC)
        # The script carries the manifest; the one the linker would generate
        # as well makes a duplicate resource.
        target_link_options(kd740-updater PRIVATE /MANIFEST:NO)
    endif()
endif()
