# Installs a build into a fresh prefix: the program and its manual page, which must render
# without a warning.   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DPROGRAM=<file name> -P CheckInstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0 OR NOT EXISTS "${PREFIX}/bin/${PROGRAM}" OR NOT EXISTS "${PREFIX}/share/man/man1/tidemark.1")
  message(FATAL_ERROR "not installed (${result})")
endif()
find_program(MAN_PROGRAM man REQUIRED)
execute_process(COMMAND "${MAN_PROGRAM}" --warnings -l "${PREFIX}/share/man/man1/tidemark.1"
                RESULT_VARIABLE result OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "" OR NOT page MATCHES "EXIT STATUS")
  message(FATAL_ERROR "the manual page does not render cleanly (${result}):\n${warnings}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
