# The libraries of the Windows build, taken from the build machine's own
# Debian packages: nlohmann json, spdlog, fmt, CLI11, asio and xxHash header-only,
# GoogleTest built from its sources. The cross compiler sees only the header folders
# linked into win-include/, never the rest of /usr/include.
set(win_include ${CMAKE_BINARY_DIR}/win-include)
file(MAKE_DIRECTORY ${win_include})
foreach(folder nlohmann spdlog fmt CLI asio)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup.sh")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${win_include}/${folder} SYMBOLIC)
endforeach()
# asio's own header beside its folder (standalone: drovekeeper-fleet's sockets).
file(CREATE_LINK /usr/include/asio.hpp ${win_include}/asio.hpp SYMBOLIC)
# xxHash is one header, compiled into the module that includes it.
if(NOT EXISTS /usr/include/xxhash.h)
  message(FATAL_ERROR "/usr/include/xxhash.h is missing: run scripts/setup.sh")
endif()
file(CREATE_LINK /usr/include/xxhash.h ${win_include}/xxhash.h SYMBOLIC)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${win_include})

# Debian's spdlog is set up for an external fmt (spdlog/tweakme.h) and is
# header-only unless SPDLOG_COMPILED_LIB is defined; fmt needs FMT_HEADER_ONLY.
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${win_include}
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
add_library(spdlog::spdlog INTERFACE IMPORTED)
set_target_properties(spdlog::spdlog PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${win_include}
  INTERFACE_LINK_LIBRARIES fmt::fmt)

add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${win_include})

find_package(Threads REQUIRED)

if(DROVEKEEPER_BUILD_TESTS)
  set(googletest_source /usr/src/googletest)
  if(NOT EXISTS ${googletest_source}/CMakeLists.txt)
    message(FATAL_ERROR "${googletest_source} is missing: install Debian's googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Not our code: built with its own warnings, none of ours.
  add_subdirectory(${googletest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# localtime_r and the other reentrant time functions of MinGW-w64's <time.h>.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)

