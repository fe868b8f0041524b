# The icon is drawn by our own generator (packaging/icon/make-icon.cpp), so
# every size comes from one committed source.
#
# The Windows resource script needs the .ico before anything is built, and a
# cross build may have no way to run a tool it builds, so the .ico is committed
# in app/resources/ and a test (tests/packaging) fails when it no longer
# matches the generator. After changing the drawing:
#   cmake --build BUILD --target kd740_icons
#   cp BUILD/icons/kd740-updater.ico app/resources/
# The PNGs that the Linux install needs are made at build time.

set(KD740_ICON_SIZES 16 32 48 64 128 256)
set(KD740_ICON_DIR "${CMAKE_BINARY_DIR}/icons")

# A cross build with an emulator (Wine) builds the generator for its test;
# the PNGs are for the Linux install only.
if(NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR)
    add_executable(kd740-make-icon packaging/icon/make-icon.cpp)
    target_link_libraries(kd740-make-icon PRIVATE Qt::Gui)
endif()

if(NOT CMAKE_CROSSCOMPILING)
    set(_kd740_icon_outputs "${KD740_ICON_DIR}/kd740-updater.ico")
    foreach(size IN LISTS KD740_ICON_SIZES)
        list(APPEND _kd740_icon_outputs "${KD740_ICON_DIR}/kd740-updater-${size}.png")
    endforeach()
    add_custom_command(
        OUTPUT ${_kd740_icon_outputs}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                $<TARGET_FILE:kd740-make-icon> "${KD740_ICON_DIR}"
        DEPENDS kd740-make-icon
        COMMENT "Drawing the updater icon"
        VERBATIM)
    add_custom_target(kd740_icons ALL DEPENDS ${_kd740_icon_outputs})
endif()
