# What `cmake --install` puts in place: the library with its CMake package and pkg-config file,
# the public headers under include/veltrane (the package, the host framework and the dispatch
# layer; the engine's and the command's own headers are private), the command, the bundled
# examples and the documentation. CPack makes a Debian package of the same (./build.sh package).
include(CMakePackageConfigHelpers)

install(TARGETS veltrane EXPORT VeltraneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/veltrane)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/veltrane
  FILES_MATCHING PATTERN "*.h"
  REGEX "/platform/docengine$" EXCLUDE
  REGEX "/cli$" EXCLUDE)

set(VELTRANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Veltrane)
install(EXPORT VeltraneTargets NAMESPACE Veltrane:: DESTINATION ${VELTRANE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VeltraneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VeltraneConfig.cmake INSTALL_DESTINATION ${VELTRANE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VeltraneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VeltraneConfig.cmake
  ${PROJECT_BINARY_DIR}/VeltraneConfigVersion.cmake DESTINATION ${VELTRANE_CMAKE_DIR})
# The pkg-config file finds the prefix from its own place, so that an installation moved or
# made with `cmake --install --prefix` still gives the right folders.
file(RELATIVE_PATH VELTRANE_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VELTRANE_PC_TO_PREFIX "${VELTRANE_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/veltrane.pc.in ${PROJECT_BINARY_DIR}/veltrane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/veltrane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET veltrane_cli)
  install(TARGETS veltrane_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/demo.sh
    DESTINATION ${CMAKE_INSTALL_DATADIR}/veltrane/examples)
  install(FILES
    ${PROJECT_SOURCE_DIR}/examples/README.md
    ${PROJECT_SOURCE_DIR}/examples/customers.docx
    ${PROJECT_SOURCE_DIR}/examples/letter.docx
    ${PROJECT_SOURCE_DIR}/examples/letter.vfm
    ${PROJECT_SOURCE_DIR}/examples/orders.docx
    ${PROJECT_SOURCE_DIR}/examples/shop.sql
    DESTINATION ${CMAKE_INSTALL_DATADIR}/veltrane/examples)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/embed
    DESTINATION ${CMAKE_INSTALL_DATADIR}/veltrane/examples)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: the command, the library, the headers and the CMake and pkg-config files
# in one package; the libraries it needs are found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrane)
set(CPACK_PACKAGE_VENDOR "Veltrane")
set(CPACK_PACKAGE_CONTACT "Veltrane developers <veltrane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "fills Word templates with data from database data sets")
set(CPACK_PACKAGE_DESCRIPTION
  "A C++ component library and command-line tool that fills Word (.docx) templates with data from SQLite and CSV data sets and saves, prints or converts the result.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-writer-nogui, cups-client")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
