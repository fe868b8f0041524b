# The Windows installer, made by CPack with NSIS. Everything goes into one
# folder: Windows finds the DLLs beside the executable, Qt finds its plugins
# in folders beside it, and the updater, wherever it is started from, opens
# ./firmware/ of this folder (catalogue/WorkingFolder.cpp).
#
# Include from cmake/Install.cmake after the package's name and version are
# set, before include(CPack).

cmake_minimum_required(VERSION 3.21) # install(IMPORTED_RUNTIME_ARTIFACTS)

# Versioned names: the versionless ones carry no file.
set(_kd740_qt Qt${QT_MAJOR})
install(IMPORTED_RUNTIME_ARTIFACTS ${_kd740_qt}::Core ${_kd740_qt}::Gui ${_kd740_qt}::Widgets DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS ${_kd740_qt}::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS ${_kd740_qt}::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)

# MinGW's C++ runtime, which the program and Qt's DLLs load.
set(_kd740_runtime_dlls libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
set(_kd740_runtime_paths "")
foreach(dll IN LISTS _kd740_runtime_dlls)
    execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${dll}
                    OUTPUT_VARIABLE _kd740_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_kd740_runtime}" OR NOT EXISTS "${_kd740_runtime}")
        message(FATAL_ERROR "MinGW runtime ${dll} not found")
    endif()
    install(FILES "${_kd740_runtime}" DESTINATION .)
    list(APPEND _kd740_runtime_paths "${_kd740_runtime}")
endforeach()

# Debian ships MinGW's runtime with its debugging sections (libstdc++-6.dll:
# 23.7 MB, 2 MB without). When the install strips (cpack; cmake --install
# --strip), CMake strips the programs it built itself; the DLLs installed as
# files are stripped here. A maker's kd_api.dll is left as delivered.
set(_kd740_stripped
    "$<TARGET_FILE_NAME:${_kd740_qt}::Core>" "$<TARGET_FILE_NAME:${_kd740_qt}::Gui>"
    "$<TARGET_FILE_NAME:${_kd740_qt}::Widgets>"
    "platforms/$<TARGET_FILE_NAME:${_kd740_qt}::QWindowsIntegrationPlugin>"
    "styles/$<TARGET_FILE_NAME:${_kd740_qt}::QWindowsVistaStylePlugin>"
    ${_kd740_runtime_dlls})
if(NOT CMAKE_STRIP)
    message(FATAL_ERROR "No strip program for the Windows build (CMAKE_STRIP)")
endif()
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(file IN ITEMS ${_kd740_stripped})
            execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\"
                            RESULT_VARIABLE status)
            if(NOT status EQUAL 0)
                message(FATAL_ERROR \"cannot strip \${file}\")
            endif()
        endforeach()
    endif()")

# The licence texts, from the Debian packages of Qt's source and of the
# runtime (packaging/windows/licenses.py): the installer's licence page, and
# the licenses/ folder. The notices are those of the code that Qt's
# qt_attribution.json files place in the modules installed above, as
# scripts/build-qt-mingw.sh configures them (no OpenGL, network, printing or
# JPEG plugin; Qt's own zlib, PCRE2, libpng, FreeType and HarfBuzz).
set(KD740_QT_WORK "${KD740_QT_MINGW}-work" CACHE PATH
    "Where scripts/build-qt-mingw.sh built the Windows Qt: its Debian source package and configure options")
set(_kd740_qt_notices
    # Core
    doubleconversion easing freebsd harfbuzz md4 md5 pcre2 pcre2-sljit psl rfc6234 sha1 sha3_endian
    sha3_keccak tinycbor unicode-character-database unicode-cldr zlib
    qbig5codecs qbkcodec qeucjpcodec qeuckrcodec qjiscodec qsjiscodec qtsciicodec
    # Gui, and the platform plugin's font engine
    aglfn freetype freetype-bdf freetype-pcf freetype-zlib grayraster harfbuzz-ng icc-sRGB-color-profile
    libpng md4c smooth-scaling-algorithm webgradients xserverhelper)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_kd740_notices "${CMAKE_BINARY_DIR}/notices")
set(_kd740_licences LICENSE.txt README.txt LGPL-3.0.txt GPL-3.0.txt Qt-third-party-notices.txt
                    GCC-runtime-library-exception.txt winpthreads.txt)
list(TRANSFORM _kd740_licences PREPEND "${_kd740_notices}/licenses/")
# Written when CMake configures, as CPack wants the licence page to exist then.
execute_process(
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/packaging/windows/licenses.py"
            --out "${_kd740_notices}" --product "${KD740_DISPLAY_NAME} ${PROJECT_VERSION}"
            --copyright "${KD740_COPYRIGHT}" --terms "${KD740_TERMS_FILE}"
            --qt-work "${KD740_QT_WORK}" --qt-version "${${_kd740_qt}Core_VERSION}"
            --qt-notice ${_kd740_qt_notices} --runtime ${_kd740_runtime_paths}
    RESULT_VARIABLE _kd740_status)
if(NOT _kd740_status EQUAL 0)
    message(FATAL_ERROR "Cannot collect the licence texts of the Windows installer")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/packaging/windows/licenses.py")
install(FILES ${_kd740_licences} DESTINATION licenses)
set(CPACK_RESOURCE_FILE_LICENSE "${_kd740_notices}/licenses/LICENSE.txt")

# The installer, and the same folder as a zip for benches that copy it.
set(CPACK_GENERATOR NSIS ZIP)
# The NSIS lines below reach the installer script as written here.
set(CPACK_VERBATIM_VARIABLES ON)
# The uninstall entry: named after the package, not its version, so that the
# next version's installer finds this one to uninstall first.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${KD740_PACKAGE_NAME}")
set(_kd740_file_version "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
# Raw NSIS lines: a 64-bit installer for a 64-bit program (Wine without its
# 32-bit part, as on Debian by default, cannot run NSIS's default 32-bit one),
# the installer's version block, the text in place of NSIS's own name and
# version at the foot of each page (set here, as CPACK_NSIS_BRANDING_TEXT
# asks for a trim option that Linux builds of NSIS refuse), and the Finish
# page's Run box text (by default "Run" and the whole display name).
string(JOIN "\n" CPACK_NSIS_DEFINES
    "Target amd64-unicode"
    "!include FileFunc.nsh"
    "VIProductVersion ${_kd740_file_version}"
    "VIAddVersionKey ProductName \"KD740 Firmware Updater\""
    "VIAddVersionKey ProductVersion ${_kd740_file_version}"
    "VIAddVersionKey FileVersion ${_kd740_file_version}"
    "VIAddVersionKey FileDescription \"${KD740_DISPLAY_NAME} Setup\""
    "VIAddVersionKey CompanyName \"${CPACK_PACKAGE_VENDOR}\""
    "VIAddVersionKey LegalCopyright \"Copyright (C) ${KD740_COPYRIGHT}\""
    "BrandingText \"${CPACK_PACKAGE_VENDOR} KD740 Firmware Updater ${PROJECT_VERSION}\""
    "!define MUI_FINISHPAGE_RUN_TEXT \"Run KD740 Firmware Updater\"")
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_WELCOME_TITLE_3LINES ON)
set(CPACK_NSIS_FINISH_TITLE_3LINES ON)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN kd740-updater.exe)
# The size Windows shows for the uninstall entry, in KiB, as installed.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  \${GetSize} \"$INSTDIR\" \"/S=0K\" $0 $1 $2
  IntFmt $0 \"0x%08X\" $0
  WriteRegDWORD SHCTX \"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\" \"EstimatedSize\" \"$0\"")
set(CPACK_PACKAGING_INSTALL_PREFIX "")
# Named like the Debian package, so a build on the simulated instrument says so.
set(CPACK_PACKAGE_FILE_NAME "${KD740_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KD740 Firmware Updater")
set(CPACK_NSIS_PACKAGE_NAME "${KD740_DISPLAY_NAME}")
set(CPACK_NSIS_DISPLAY_NAME "${KD740_DISPLAY_NAME} ${CPACK_PACKAGE_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
set(CPACK_PACKAGE_EXECUTABLES kd740-updater "KD740 Firmware Updater")
set(CPACK_NSIS_INSTALLED_ICON_NAME kd740-updater.exe)
set(CPACK_NSIS_MUI_ICON "${CMAKE_CURRENT_SOURCE_DIR}/app/resources/kd740-updater.ico")
set(CPACK_NSIS_MUI_UNIICON "${CMAKE_CURRENT_SOURCE_DIR}/app/resources/kd740-updater.ico")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
