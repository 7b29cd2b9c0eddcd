# A Debian package of the installed tree: `cpack -G DEB` in the build folder, or
# scripts/package. Its run-time dependencies come from dpkg-shlibdeps' scan of the
# executables and the sound module (Qt Multimedia is its alone), plus the plug-ins Qt
# loads at run time, which no scan can see.
set(CPACK_PACKAGE_NAME vazudovu)
set(CPACK_PACKAGE_VENDOR "Quorvane Software")
set(CPACK_PACKAGE_CONTACT "Quorvane Software <vazudovu@quorvane-software.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "reminder that notifies by sound, e-mail, instant message or program")
set(CPACK_PACKAGE_DESCRIPTION
    "Vazudovu keeps a table of timed items and notifies each one once, when its warning
interval begins, through the channels marked in its row: a sound, an e-mail, an
instant message or a program of your choice started with the item's data. It shows
a clock in a chosen time zone beside local time and can live in the system tray.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's platform plug-in (xcb, in libqt6gui6, found by the scan) and the FFmpeg
# media back-end (in libqt6multimedia6, also found); tray icons, sound and SVG icons need
# nothing more. qt6-qpa-plugins carries the Wayland and other desktops' platform plug-ins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, qt6-wayland")
# libcurl and OpenSSL are opened by name at the first sign-in or secure connection, so
# no scan sees them either.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, libssl3")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quorvane-software.example/qsoft/vazudovu/")
# Only the program's own files: the test and benchmark binaries install nothing.
include(CPack)
