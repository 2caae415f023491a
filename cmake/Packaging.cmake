# A .deb of the program: cmake --build build --target package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME at-vexo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# the address the about window gives
set(CPACK_PACKAGE_CONTACT "AT_Vexo developers <info@example.com>")
# first Debian revision of the upstream version; packaging/changelog.Debian
# names the same version
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configures a Vexo serial gateway module with AT commands")
# the extended description only: CPack puts the summary above it and indents
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A desktop utility for service engineers: over a null-modem cable at
19200 bit/s it queries the module's version and reads and writes its port
speeds, ModBus address and data-concentrator flag, and logs a coloured
verdict on every reply. Russian user interface.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Fonts with the metrics of the faces the fixed layouts were drawn for.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
include(CPack)
