# The libraries of the web build (emscripten), taken from the build machine's
# own Debian packages, all header-only: nlohmann json, fmt, spdlog, CLI11 and
# xxHash. Emscripten's sysroot leaves /usr/include out, and must not see
# glibc's headers there: only these folders come in, linked into web-include/.
set(web_include ${CMAKE_BINARY_DIR}/web-include)
file(MAKE_DIRECTORY ${web_include})
foreach(folder nlohmann spdlog fmt CLI)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup.sh")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${web_include}/${folder} SYMBOLIC)
endforeach()
if(NOT EXISTS /usr/include/xxhash.h)
  message(FATAL_ERROR "/usr/include/xxhash.h is missing: run scripts/setup.sh")
endif()
file(CREATE_LINK /usr/include/xxhash.h ${web_include}/xxhash.h SYMBOLIC)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${web_include})
# Debian's spdlog is set up for an external fmt (spdlog/tweakme.h) and is
# header-only unless SPDLOG_COMPILED_LIB is defined; fmt needs FMT_HEADER_ONLY.
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${web_include}
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
add_library(spdlog::spdlog INTERFACE IMPORTED)
set_target_properties(spdlog::spdlog PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${web_include}
  INTERFACE_LINK_LIBRARIES fmt::fmt)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${web_include})
# One thread: the page's worker runs the whole program, and threads would
# need shared memory the page cannot count on.
add_library(Threads::Threads INTERFACE IMPORTED)

# The plug-in's configuration errors travel as exceptions, which emscripten
# leaves off unless asked for.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
