# Each library's own include root: a folder of the build tree that holds only
# its own source folder (a link to it), so that a target sees another folder's
# headers only by linking that folder's library, and an include against the
# order plugin -> spawn and check -> config -> host (CMakeLists.txt) fails to
# compile.
#
#   drovekeeper_include_root(TARGET FOLDER [FILES header...])
#
# FOLDER is relative to the source root ("config", "standin/game"); with FILES
# the root holds only those headers of the folder.
function(drovekeeper_include_root target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "FILES")
  set(root ${CMAKE_BINARY_DIR}/include_roots/${target})
  if(arg_FILES)
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header IN LISTS arg_FILES)
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder}/${header} ${root}/${folder}/${header}
           SYMBOLIC COPY_ON_ERROR)
    endforeach()
  else()
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
