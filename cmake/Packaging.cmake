# The release packages, made by CPack: a zip from the Windows build, a .deb from the POSIX one.
# Each package is an install component of its own that `cmake --install` leaves out; CPack
# installs just that component and packs it.
set(CPACK_PACKAGE_NAME tidemark)
set(CPACK_PACKAGE_VENDOR "The Tidemark authors")
set(CPACK_PACKAGE_CONTACT "The Tidemark authors <tidemark@example.org>")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # tidemark-<version>-win64.zip: the program, its README and its licence side by side.
  install(TARGETS tidemark RUNTIME DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)
  install(FILES README.md LICENSE DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};zip;/")
  set(CPACK_PACKAGE_FILE_NAME tidemark-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # tidemark_<version>_<arch>.deb, laid out as Debian's policy wants: the manual page and the
  # changelog compressed with gzip -9n, the licence as the copyright file.
  file(STRINGS packaging/changelog latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^tidemark \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: its first entry must be version ${PROJECT_VERSION}")
  endif()
  add_custom_command(OUTPUT tidemark.1.gz changelog.gz
    COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/src/tidemark.1 > tidemark.1.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/src/tidemark.1 packaging/changelog VERBATIM)
  add_custom_target(debian_documents ALL DEPENDS tidemark.1.gz changelog.gz)

  install(TARGETS tidemark RUNTIME DESTINATION bin COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/tidemark.1.gz DESTINATION share/man/man1 COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION share/doc/tidemark COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES LICENSE DESTINATION share/doc/tidemark RENAME copyright COMPONENT deb EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR DEB)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};deb;/")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/tidemark)
  # dpkg-shlibdeps names the libraries the program links, the C library among them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION
    "Git rewrites the last-write time of its pack files whenever it freshens
objects, although their bytes stay the same, so backup and synchronisation
tools that compare size and time copy these often large files again and
again. Tidemark walks directory trees, finds Git repositories, and sets each
pack file's last-write time back to its index's, changing nothing else.")

  # The release preset cross-builds the Windows program too, from the same sources into
  # win64/ of its tree, so that one workflow packs both. It follows the native build rather
  # than competing with it for the cores.
  option(TIDEMARK_WITH_WIN64 "Also cross-build the Windows program with MinGW-w64, in win64/" OFF)
  if(TIDEMARK_WITH_WIN64)
    include(ExternalProject)
    ExternalProject_Add(win64
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/win64
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchains/mingw-w64-x86_64.cmake
                 -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      DEPENDS tidemark)
  endif()
endif()

include(CPack)
