# Install layout and the Debian package.
#
#   bin/kd740-updater                          wrapper: starts the updater in the data folder
#   bin/kd740-flash                            link to the console program
#   libexec/kd740-updater/kd740-updater        the updater
#   libexec/kd740-updater/kd740-flash          the console program (installed by cli/)
#   libexec/kd740-updater/<kd_api library>     private: only the updater loads it
#   share/kd740-updater/firmware/<images>      the updater opens ./firmware/...
#   share/kd740-updater/firmware/SHA256SUMS    their digests, to check a copy of the folder,
#   share/kd740-updater/firmware/SHA256SUMS.minisig    and the maker's signature of them
#   share/applications/kd740-updater.desktop
#   share/metainfo/<id>.metainfo.xml
#   share/icons/hicolor/<N>x<N>/apps/kd740-updater.png
#   share/doc/<package>/copyright, changelog.gz
#   share/man/man1/kd740-updater.1.gz, kd740-flash.1.gz
#
# On Windows everything sits in the install folder itself (see
# cmake/WindowsPackage.cmake).
#
# Include after the kd740-updater target and after cmake/Icon.cmake, before cli/.

include(GNUInstallDirs)

# A package built on the simulated instrument talks to no hardware, and says
# so in its name and description. The Windows installer names itself after
# KD740_PACKAGE_NAME too.
get_target_property(_kd740_api_imported kd_api IMPORTED)
if(_kd740_api_imported)
    set(KD740_PACKAGE_NAME kd740-updater)
    set(_kd740_other_package kd740-updater-sim)
    set(KD740_DISPLAY_NAME "KD740 Firmware Updater")
    set(KD740_SUMMARY "Checks and updates the firmware of ${KD740_MODELS_AND} instruments")
    set(KD740_METAINFO_SIMULATED "")
    set(_kd740_description_tail "")
else()
    set(KD740_PACKAGE_NAME kd740-updater-sim)
    set(_kd740_other_package kd740-updater)
    set(KD740_DISPLAY_NAME "KD740 Firmware Updater (simulated instrument)")
    set(KD740_SUMMARY "KD740 firmware updater built on a simulated instrument, for trying it out")
    set(KD740_METAINFO_SIMULATED "    <p>
      This build talks to a simulated instrument, not to real hardware: it is
      for trying the updater out and for training.
    </p>
")
    set(_kd740_description_tail "\n\nThis build talks to a simulated instrument, not to hardware: it is for\ntrying the updater out and for training. Technicians servicing real\ninstruments need the kd740-updater package.")
endif()
set(KD740_APPSTREAM_ID "example.corvane.kd740_updater")

if(WIN32)
    # One folder, as Windows programs are installed: the DLLs beside the
    # executable, firmware/ in the folder the shortcut starts it in.
    set(_kd740_program_dir .)
    set(_kd740_data_dir .)
else()
    # Not lib/: CPack's DEB generator adds ldconfig calls for a library in
    # any folder right under usr/lib, and this one is nobody else's business.
    set(_kd740_program_dir "${CMAKE_INSTALL_LIBEXECDIR}/kd740-updater")
    set(_kd740_data_dir "${CMAKE_INSTALL_DATADIR}/kd740-updater")
endif()
# Both programs find the images from its own folder.
file(RELATIVE_PATH KD740_PROGRAM_TO_DATA "/${_kd740_program_dir}" "/${_kd740_data_dir}")
if(NOT KD740_PROGRAM_TO_DATA)
    set(KD740_PROGRAM_TO_DATA .)
endif()
# On Linux the build tree's program is not the installed one and has none: it
# must not take the images of an installed package for its own.
target_compile_definitions(kd740-updater PRIVATE KD740_DATA_DIR="$<$<BOOL:${WIN32}>:${KD740_PROGRAM_TO_DATA}>")

if(WIN32)
    install(TARGETS kd740-updater RUNTIME DESTINATION "${_kd740_program_dir}")
else()
    # The installed updater is linked on its own with the installed RUNPATH
    # (the library sits beside it). Having the install rewrite the build
    # tree's copy instead would leave that copy's RUNPATH with a trailing empty
    # entry, which the loader reads as the current directory.
    add_executable(kd740-updater-installed "${PROJECT_SOURCE_DIR}/app/main.cpp")
    target_link_libraries(kd740-updater-installed PRIVATE updater kd740_trusted_keys)
    target_compile_definitions(kd740-updater-installed PRIVATE KD740_DATA_DIR="${KD740_PROGRAM_TO_DATA}")
    set_target_properties(kd740-updater-installed PROPERTIES
        OUTPUT_NAME kd740-updater
        RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/installed"
        BUILD_WITH_INSTALL_RPATH ON
        INSTALL_RPATH "$ORIGIN")
    install(TARGETS kd740-updater-installed RUNTIME DESTINATION "${_kd740_program_dir}")
endif()


if(_kd740_api_imported)
    # The maker's file may be a symlink chain down to a versioned name that is
    # also its soname; installing the whole chain keeps the soname resolvable.
    if(WIN32)
        install(FILES "$<TARGET_FILE:kd_api>" DESTINATION "${_kd740_program_dir}")
    else()
        install(CODE "file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${_kd740_program_dir}\"
                           TYPE SHARED_LIBRARY FOLLOW_SYMLINK_CHAIN FILES \"$<TARGET_FILE:kd_api>\")")
    endif()
else()
    # A Windows import library is for linking only: not installed.
    install(TARGETS kd_api LIBRARY DESTINATION "${_kd740_program_dir}" RUNTIME DESTINATION "${_kd740_program_dir}"
                           ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" EXCLUDE_FROM_ALL)
endif()

list(TRANSFORM KD740_FIRMWARE_IMAGES PREPEND "${KD740_FIRMWARE_DIR}/" OUTPUT_VARIABLE _kd740_image_paths)
install(FILES ${_kd740_image_paths} "${KD740_SIGNED_LIST}" "${KD740_SIGNED_LIST}.minisig" DESTINATION "${_kd740_data_dir}/firmware")

# Installing needs the images and icons, which a plain build of the updater
# alone would not make.
add_custom_target(kd740_install_files ALL)
add_dependencies(kd740_install_files kd740_image_digests)
if(TARGET kd740-updater-installed)
    add_dependencies(kd740_install_files kd740-updater-installed)
endif()
if(TARGET kdsim_firmware)
    add_dependencies(kd740_install_files kdsim_firmware)
endif()

# The manual pages, with the model table's names; tst_flash holds
# kd740-flash's options there to its --help.
set(KD740_MANUAL_PAGES "${CMAKE_BINARY_DIR}/man")
foreach(_kd740_page kd740-updater.1 kd740-flash.1)
    configure_file("packaging/${_kd740_page}.in" "${KD740_MANUAL_PAGES}/${_kd740_page}" @ONLY)
endforeach()

if(UNIX AND NOT APPLE)
    # The wrapper finds the program and the data relative to itself, so it
    # works for any prefix.
    file(RELATIVE_PATH KD740_BIN_TO_DATA "/${CMAKE_INSTALL_BINDIR}" "/${_kd740_data_dir}")
    file(RELATIVE_PATH KD740_BIN_TO_PROGRAM "/${CMAKE_INSTALL_BINDIR}" "/${_kd740_program_dir}")
    set(_kd740_staged "${CMAKE_CURRENT_BINARY_DIR}/kd740-install")
    configure_file(packaging/kd740-updater.in "${_kd740_staged}/kd740-updater" @ONLY)
    install(PROGRAMS "${_kd740_staged}/kd740-updater" DESTINATION "${CMAKE_INSTALL_BINDIR}")
    # A link, not a wrapper: the console program stays in the folder it was
    # started from, and signals reach it directly.
    file(CREATE_LINK "${KD740_BIN_TO_PROGRAM}/kd740-flash" "${_kd740_staged}/kd740-flash" SYMBOLIC)
    install(FILES "${_kd740_staged}/kd740-flash" DESTINATION "${CMAKE_INSTALL_BINDIR}")

    install(FILES packaging/kd740-updater.desktop DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    configure_file(packaging/kd740-updater.metainfo.xml.in
                   "${_kd740_staged}/${KD740_APPSTREAM_ID}.metainfo.xml" @ONLY)
    install(FILES "${_kd740_staged}/${KD740_APPSTREAM_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

    if(TARGET kd740_icons)
        add_dependencies(kd740_install_files kd740_icons)
        foreach(size IN LISTS KD740_ICON_SIZES)
            install(FILES "${KD740_ICON_DIR}/kd740-updater-${size}.png"
                    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
                    RENAME kd740-updater.png)
        endforeach()
    endif()
endif()

# Debian package. The DEB generator stages with DESTDIR and
# CMAKE_INSTALL_PREFIX set to CPACK_PACKAGING_INSTALL_PREFIX.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${KD740_PACKAGE_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane instrument support <support@corvane.example>")
# The product's own terms, which both packages show. packaging/terms.txt says
# itself that it is a placeholder until Corvane confirms it.
set(KD740_COPYRIGHT "2026 Corvane")
set(KD740_TERMS_FILE "${PROJECT_SOURCE_DIR}/packaging/terms.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KD740_TERMS_FILE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${KD740_SUMMARY}")
# Wrapped by hand: dpkg shows the long description as written.
set(CPACK_PACKAGE_DESCRIPTION "Reads the firmware versions of a connected KD740 instrument, updates it to
the firmware shipped in this package, and restores instruments whose
firmware is damaged.${_kd740_description_tail}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_CONFLICTS "${_kd740_other_package}")
set(CPACK_DEBIAN_PACKAGE_REPLACES "${_kd740_other_package}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps must find our own kd_api (it has no shlibs entry of its own);
# the path is relative to the package's staging root.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "usr/${_kd740_program_dir}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(UNIX AND NOT APPLE)
    set(_kd740_doc_dir "${CMAKE_INSTALL_DATAROOTDIR}/doc/${KD740_PACKAGE_NAME}")
    # Debian's copyright format: the text's lines indented, "." for an empty one.
    file(READ "${KD740_TERMS_FILE}" _kd740_terms)
    string(STRIP "${_kd740_terms}" _kd740_terms)
    string(REPLACE "\n\n" "\n.\n" _kd740_terms "${_kd740_terms}")
    string(REPLACE "\n" "\n " KD740_TERMS_DEP5 " ${_kd740_terms}")
    configure_file(packaging/copyright.in "${_kd740_staged}/copyright" @ONLY)
    configure_file(packaging/changelog.in "${_kd740_staged}/changelog" @ONLY)
    install(FILES "${_kd740_staged}/copyright" DESTINATION "${_kd740_doc_dir}")
    # Debian wants these compressed, reproducibly (no name or time in the header).
    find_program(KD740_GZIP gzip)
    if(KD740_GZIP)
        set(_kd740_man_pages kd740-updater.1 kd740-flash.1)
        foreach(_kd740_page IN LISTS _kd740_man_pages)
            configure_file("${KD740_MANUAL_PAGES}/${_kd740_page}" "${_kd740_staged}/${_kd740_page}" COPYONLY)
        endforeach()
        foreach(_kd740_page changelog ${_kd740_man_pages})
            add_custom_command(OUTPUT "${_kd740_staged}/${_kd740_page}.gz"
                COMMAND "${KD740_GZIP}" -9nkf "${_kd740_staged}/${_kd740_page}"
                DEPENDS "${_kd740_staged}/${_kd740_page}"
                VERBATIM)
        endforeach()
        list(TRANSFORM _kd740_man_pages PREPEND "${_kd740_staged}/" OUTPUT_VARIABLE _kd740_man_files)
        list(TRANSFORM _kd740_man_files APPEND .gz)
        add_custom_target(kd740_compressed_docs DEPENDS "${_kd740_staged}/changelog.gz" ${_kd740_man_files})
        add_dependencies(kd740_install_files kd740_compressed_docs)
        install(FILES "${_kd740_staged}/changelog.gz" DESTINATION "${_kd740_doc_dir}")
        install(FILES ${_kd740_man_files} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    endif()
endif()

# What the package check expects, from the facts above.
list(JOIN KD740_FIRMWARE_IMAGES " " _kd740_image_names)
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/kd740-package.txt" CONTENT "package=${KD740_PACKAGE_NAME}
simulated=$<IF:$<BOOL:${_kd740_api_imported}>,no,yes>
qt=${QT_MAJOR}
version=${PROJECT_VERSION}
vendor=${CPACK_PACKAGE_VENDOR}
images=${_kd740_image_names}
metainfo=${KD740_APPSTREAM_ID}.metainfo.xml
")

if(WIN32)
    include(cmake/WindowsPackage.cmake)
endif()
include(CPack)
