# Flags every target of the project shares.
add_library(standard_settings INTERFACE)
target_compile_features(standard_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

if(WIN32)
  target_compile_definitions(standard_settings INTERFACE
    UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
  # No MinGW runtime DLL beside the program: everything is linked in.
  target_link_options(standard_settings INTERFACE -static -static-libgcc -static-libstdc++)
endif()

add_library(standard_warnings INTERFACE)
target_compile_options(standard_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast -Wimplicit-fallthrough)
