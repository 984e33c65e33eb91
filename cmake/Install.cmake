# The library as a package for other batch programs, and the packages of the
# whole install.
#
# Installed tree (GNUInstallDirs paths; prefix P):
#   P/bin/                      the commands                        (Runtime)
#   P/share/retag/              message files, default scribant.ini (Runtime)
#   P/share/man/man1, man5      manual pages of commands and files  (Runtime)
#   P/include/retag/            the public headers                  (Development)
#   P/lib/libretag_*.a          the layers as static libraries      (Development)
#   P/lib/cmake/Retag/          find_package(Retag CONFIG)          (Development)
#   P/lib/pkgconfig/retag.pc    the same for pkg-config             (Development)
#   P/share/man/man3            the programming interface's page    (Development)
include(CMakePackageConfigHelpers)

# The layers a batch program links, lowest first. The command's own library
# (retaglib) is no part of the interface.
set(RETAG_PACKAGE_MODULES util project library scrib gpi)

# The public headers: the programming interface, the block model, attribute
# and name helpers, and the base utilities their declarations use. They
# include each other by bare name, so they stand together in one directory.
set(RETAG_PUBLIC_HEADERS
    gpi/gpi.h
    scrib/sbMsg.h
    scrib/vqAttr.h
    scrib/vqBlock.h
    scrib/vqName.h
    library/qMsg.h
    library/vqp.h
    project/vfp.h
    util/ulDlist.h
    util/ulErr.h
    util/ulEx.h
    util/ulMsg.h
    util/ulStr.h)
list(TRANSFORM RETAG_PUBLIC_HEADERS PREPEND ${PROJECT_SOURCE_DIR}/)
install(FILES ${RETAG_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/retag
        COMPONENT Development)

foreach(module ${RETAG_PACKAGE_MODULES})
  # libretag_util.a and so on: the layers' own names are too general for a
  # shared library directory. A program includes <retag/gpi.h>.
  set_target_properties(${module} PROPERTIES OUTPUT_NAME retag_${module} EXPORT_NAME ${module})
  target_include_directories(${module} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(${module} INTERFACE cxx_std_17)
endforeach()
install(TARGETS ${RETAG_PACKAGE_MODULES} EXPORT RetagTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

set(RETAG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Retag)
install(EXPORT RetagTargets NAMESPACE Retag:: DESTINATION ${RETAG_CMAKE_DIR}
        COMPONENT Development)
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/RetagConfig.cmake.in ${PROJECT_BINARY_DIR}/RetagConfig.cmake
  INSTALL_DESTINATION ${RETAG_CMAKE_DIR} PATH_VARS RETAG_INSTALL_DATADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RetagConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RetagConfig.cmake ${PROJECT_BINARY_DIR}/RetagConfigVersion.cmake
        DESTINATION ${RETAG_CMAKE_DIR} COMPONENT Development)

# pkg-config: the prefix is found from the file's own place, so that the
# installed tree can move as a whole.
file(RELATIVE_PATH RETAG_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" RETAG_PC_PREFIX "${RETAG_PC_PREFIX}")
set(RETAG_PC_LIBS)
foreach(module gpi scrib library project util)
  string(APPEND RETAG_PC_LIBS " -lretag_${module}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/retag.pc.in ${PROJECT_BINARY_DIR}/retag.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/retag.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT Development)

# Packages: cpack (or the target "package") makes a .tar.gz of the installed
# tree and a .deb that installs it under /usr.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "retag developers")
set(CPACK_PACKAGE_CONTACT "retag developers <retag@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Brings the attributes of a schematic symbol library into line with an attribute list")
set(CPACK_PACKAGE_DESCRIPTION
    "retag rewrites the attributes of every symbol block of a library from a plain-text \
attribute list, backing up and locking each block file it rewrites; its companions extract \
a library's attributes as such a list, preview a run and check a library's block files. \
The package also holds the block database library as static libraries with their headers, \
a CMake package and a pkg-config file, for other batch programs.")
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
# A source package (target package_source) leaves out the build trees.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build/")
include(CPack)
