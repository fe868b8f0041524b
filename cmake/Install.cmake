# Install layout and the Debian package.
#
#   bin/kd740-updater
#   lib/kd740-updater/<kd_api library>        private: only the updater loads it
#   share/kd740-updater/firmware/<images>     the program opens ./firmware/...
#   share/applications/kd740-updater.desktop  starts it in share/kd740-updater
#   share/icons/hicolor/<N>x<N>/apps/kd740-updater.png
#
# Include after the kd740-updater target and after cmake/Icon.cmake.

set(KD740_FIRMWARE_DIR "${CMAKE_BINARY_DIR}/firmware" CACHE PATH
    "Directory holding the firmware images to install (the simulator writes its own there)")

# The names the catalogue looks for; a missing one fails the install rather
# than shipping an updater that cannot update some model.
set(KD740_FIRMWARE_IMAGES
    kd740a_boot_4.img kd740a_run_5.img kd740a_fpga_9.rbf
    kd740b_boot_4.img kd740b_run_5.img kd740b_fpga_12.rbf
    kd740c_fx3_v5.img kd740c_fpga_v3.rbf)

if(WIN32)
    # Windows finds a DLL beside the executable; a shortcut must start the
    # program in bin/ for it to find firmware/.
    set(_kd740_lib_dir bin)
    set(_kd740_data_dir bin)
else()
    set(_kd740_lib_dir lib/kd740-updater)
    set(_kd740_data_dir share/kd740-updater)
endif()

if(WIN32)
    install(TARGETS kd740-updater RUNTIME DESTINATION bin)
else()
    # The installed updater is linked on its own with the installed RUNPATH.
    # Having the install rewrite the build tree's copy instead would leave
    # that copy's RUNPATH padded with empty entries, which the loader reads as
    # the current directory.
    add_executable(kd740-updater-installed "${PROJECT_SOURCE_DIR}/app/main.cpp")
    target_link_libraries(kd740-updater-installed PRIVATE updater)
    set_target_properties(kd740-updater-installed PROPERTIES
        OUTPUT_NAME kd740-updater
        RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/installed"
        BUILD_WITH_INSTALL_RPATH ON
        INSTALL_RPATH "$ORIGIN/../${_kd740_lib_dir}")
    install(TARGETS kd740-updater-installed RUNTIME DESTINATION bin)
endif()

get_target_property(_kd740_api_imported kd_api IMPORTED)
if(_kd740_api_imported)
    # The maker's file may be a symlink chain down to a versioned name that is
    # also its soname; installing the whole chain keeps the soname resolvable.
    if(WIN32)
        install(FILES "$<TARGET_FILE:kd_api>" DESTINATION "${_kd740_lib_dir}")
    else()
        install(CODE "file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${_kd740_lib_dir}\"
                           TYPE SHARED_LIBRARY FOLLOW_SYMLINK_CHAIN FILES \"$<TARGET_FILE:kd_api>\")")
    endif()
else()
    install(TARGETS kd_api LIBRARY DESTINATION "${_kd740_lib_dir}" RUNTIME DESTINATION "${_kd740_lib_dir}")
endif()

list(TRANSFORM KD740_FIRMWARE_IMAGES PREPEND "${KD740_FIRMWARE_DIR}/" OUTPUT_VARIABLE _kd740_image_paths)
install(FILES ${_kd740_image_paths} DESTINATION "${_kd740_data_dir}/firmware")

# Installing needs the images and icons, which a plain build of the updater
# alone would not make.
add_custom_target(kd740_install_files ALL)
if(TARGET kd740-updater-installed)
    add_dependencies(kd740_install_files kd740-updater-installed)
endif()
if(TARGET kdsim_firmware)
    add_dependencies(kd740_install_files kdsim_firmware)
endif()

if(UNIX AND NOT APPLE)
    if(TARGET kd740_icons)
        add_dependencies(kd740_install_files kd740_icons)
        foreach(size IN LISTS KD740_ICON_SIZES)
            install(FILES "${KD740_ICON_DIR}/kd740-updater-${size}.png"
                    DESTINATION "share/icons/hicolor/${size}x${size}/apps"
                    RENAME kd740-updater.png)
        endforeach()
    endif()

    # The committed entry names the package's data directory. Path= must be
    # absolute, so an install to any other prefix gets it rewritten.
    install(CODE "
        file(READ \"${CMAKE_CURRENT_SOURCE_DIR}/packaging/kd740-updater.desktop\" _entry)
        string(REGEX REPLACE \"\\nPath=[^\\n]*\" \"\\nPath=\${CMAKE_INSTALL_PREFIX}/${_kd740_data_dir}\" _entry \"\${_entry}\")
        set(_staged \"${CMAKE_CURRENT_BINARY_DIR}/kd740-install/kd740-updater.desktop\")
        file(WRITE \"\${_staged}\" \"\${_entry}\")
        file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\" TYPE FILE FILES \"\${_staged}\")
    ")
endif()

# Debian package. The DEB generator stages with DESTDIR and
# CMAKE_INSTALL_PREFIX set to CPACK_PACKAGING_INSTALL_PREFIX, so the desktop
# entry gets the package's own Path.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kd740-updater)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane instrument support <support@corvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Checks and updates the firmware of KD740A, KD740B and KD740C instruments")
set(CPACK_PACKAGE_DESCRIPTION "Reads the firmware versions of a connected KD740 instrument, updates it to the\
 firmware shipped in this package, and restores instruments whose firmware is damaged.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps must find our own kd_api (it has no shlibs entry of its own);
# the path is relative to the package's staging root.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "usr/${_kd740_lib_dir}")
include(CPack)
