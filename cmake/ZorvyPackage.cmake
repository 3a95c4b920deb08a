# Installation and the Debian package. The program loads the observation library from its own
# folder, so the stand-in library is installed beside it, with the simulated game:
#   cmake --install build --prefix P    gives P/bin/ZorvyTco, P/bin/ZorvyRailsSDK.dll, P/bin/ZorvyRails.exe
#   (cd build && cpack -G DEB)          gives zorvy-tco_<version>_<arch>.deb, installed under /opt/zorvy-tco
include(GNUInstallDirs)
install(TARGETS ZorvyTco RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET ZorvyRails AND TARGET ZorvyRailsSDK)
    install(TARGETS ZorvyRails RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(TARGETS ZorvyRailsSDK LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_PACKAGE_NAME zorvy-tco)
set(CPACK_PACKAGE_VENDOR ZorvyTools)
set(CPACK_PACKAGE_CONTACT "ZorvyTools <tco@zorvytools.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Read-only live observation panel for the ZorvyRails railway simulation")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/zorvy-tco)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The shared libraries come from dpkg-shlibdeps; the QML modules the window imports at run time
# are no link dependency, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtquick-templates, qml6-module-qtqml-workerscript")
include(CPack)
