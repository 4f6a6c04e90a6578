# The libraries of the web build (emscripten), taken from the build machine's
# own Debian packages, all header-only: nlohmann json, fmt, spdlog, CLI11 and
# xxHash. Emscripten's sysroot leaves /usr/include out, and must not see
# glibc's headers there: only these folders come in, linked into web-include/.
include(${CMAKE_CURRENT_LIST_DIR}/header_only_deps.cmake)
drovekeeper_header_only_deps(${CMAKE_BINARY_DIR}/web-include)
# One thread: the page's worker runs the whole program, and threads would
# need shared memory the page cannot count on.
add_library(Threads::Threads INTERFACE IMPORTED)

# The plug-in's configuration errors travel as exceptions, which emscripten
# leaves off unless asked for.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
