# The Windows installer, made by CPack with NSIS. Everything goes into one
# folder: Windows finds the DLLs beside the executable, Qt finds its plugins
# in folders beside it, and the updater opens ./firmware/ in the folder the
# Start-menu shortcut starts it in, which is the install folder.
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
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${dll}
                    OUTPUT_VARIABLE _kd740_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_kd740_runtime}" OR NOT EXISTS "${_kd740_runtime}")
        message(FATAL_ERROR "MinGW runtime ${dll} not found")
    endif()
    install(FILES "${_kd740_runtime}" DESTINATION .)
endforeach()

# The installer, and the same folder as a zip for benches that copy it.
set(CPACK_GENERATOR NSIS ZIP)
# A 64-bit installer for a 64-bit program; Wine without its 32-bit part, as on
# Debian by default, cannot run NSIS's default 32-bit one.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
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
