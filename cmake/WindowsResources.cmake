# Icon, manifest and version block of the Windows executables: the window
# program and kd740-flash share the icon and manifest, each has its own
# version block naming it.
#
# A resource script takes its version from project(VERSION); it is written
# with the icon and manifest into one build folder, as it names them relative
# to itself. The resource check (tests/packaging) compiles that folder on any
# platform, so it is made for every build.
set(KD740_RESOURCE_DIR "${CMAKE_BINARY_DIR}/resources")
foreach(_kd740_resource kd740-updater.ico kd740-updater.manifest)
    configure_file("${CMAKE_CURRENT_SOURCE_DIR}/app/resources/${_kd740_resource}"
                   "${KD740_RESOURCE_DIR}/${_kd740_resource}" COPYONLY)
endforeach()

# Writes <program>.rc into the folder and, on Windows, builds it into target.
function(kd740_windows_resources target program description)
    set(KD740_RC_PROGRAM "${program}")
    set(KD740_RC_DESCRIPTION "${description}")
    set(_rc "${KD740_RESOURCE_DIR}/${program}.rc")
    configure_file("${PROJECT_SOURCE_DIR}/app/resources/kd740-updater.rc.in" "${_rc}" @ONLY)
    if(NOT WIN32)
        return()
    endif()
    target_sources(${target} PRIVATE "${_rc}")
    set_property(SOURCE "${_rc}" APPEND PROPERTY INCLUDE_DIRECTORIES "${KD740_RESOURCE_DIR}")
    set_property(SOURCE "${_rc}" APPEND PROPERTY OBJECT_DEPENDS
                 "${KD740_RESOURCE_DIR}/kd740-updater.ico"
                 "${KD740_RESOURCE_DIR}/kd740-updater.manifest")
    if(MSVC)
        # The script carries the manifest; the one the linker would generate
        # as well makes a duplicate resource.
        target_link_options(${target} PRIVATE /MANIFEST:NO)
    endif()
endfunction()

if(WIN32)
    enable_language(RC)
endif()
kd740_windows_resources(kd740-updater kd740-updater "KD740 Firmware Updater")
