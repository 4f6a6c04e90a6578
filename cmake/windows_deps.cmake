# The libraries of the Windows build, taken from the build machine's own
# Debian packages: nlohmann json, spdlog, fmt, CLI11, asio and xxHash header-only,
# GoogleTest built from its sources. The cross compiler sees only the header folders
# linked into win-include/, never the rest of /usr/include.
# asio with its own header beside its folder (standalone: drovekeeper-fleet's
# sockets).
include(${CMAKE_CURRENT_LIST_DIR}/header_only_deps.cmake)
drovekeeper_header_only_deps(${CMAKE_BINARY_DIR}/win-include FOLDERS asio FILES asio.hpp)

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

