# Icon, manifest and version block of the Windows executable.
#
# The resource script takes its version from project(VERSION); it is written
# with the icon and manifest into one build folder, as it names them relative
# to itself. The resource check (tests/packaging) compiles that folder on any
# platform, so it is made for every build.
set(KD740_RESOURCE_DIR "${CMAKE_BINARY_DIR}/resources")
configure_file("${CMAKE_CURRENT_SOURCE_DIR}/app/resources/kd740-updater.rc.in"
               "${KD740_RESOURCE_DIR}/kd740-updater.rc" @ONLY)
foreach(_kd740_resource kd740-updater.ico kd740-updater.manifest)
    configure_file("${CMAKE_CURRENT_SOURCE_DIR}/app/resources/${_kd740_resource}"
                   "${KD740_RESOURCE_DIR}/${_kd740_resource}" COPYONLY)
endforeach()

if(WIN32)
    enable_language(RC)
    set(_kd740_rc "${KD740_RESOURCE_DIR}/kd740-updater.rc")
    target_sources(kd740-updater PRIVATE "${_kd740_rc}")
    set_property(SOURCE "${_kd740_rc}" APPEND PROPERTY INCLUDE_DIRECTORIES "${KD740_RESOURCE_DIR}")
    set_property(SOURCE "${_kd740_rc}" APPEND PROPERTY OBJECT_DEPENDS
                 "${KD740_RESOURCE_DIR}/kd740-updater.ico"
                 "${KD740_RESOURCE_DIR}/kd740-updater.manifest")
    if(MSVC)
        # The script carries the manifest; the one the linker would generate
        # as well makes a duplicate resource.
        target_link_options(kd740-updater PRIVATE /MANIFEST:NO)
    endif()
endif()
