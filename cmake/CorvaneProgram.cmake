# corvane_add_program(NAME SOURCES...)
#
# An executable whose user program is UserMain from SOURCES, on the whole Corvane
# runtime and its process entry. A media/ folder beside the calling CMakeLists.txt is
# copied beside the executable on every build (the runtime finds media from the
# executable's folder: load them as "media/NAME"). On Windows the DLLs the runtime
# needs (CORVANE_RUNTIME_DLLS) are copied beside the executable too, so its folder is
# the whole game, ready to zip.
function(corvane_add_program name)
  if(NOT ARGN)
    message(FATAL_ERROR "corvane_add_program(${name}): no sources given")
  endif()
  if(NOT TARGET Corvane::runtime OR NOT TARGET Corvane::main)
    message(FATAL_ERROR "corvane_add_program(${name}): find_package(Corvane) first")
  endif()
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE Corvane::main Corvane::runtime)
  target_compile_features(${name} PRIVATE cxx_std_20)
  set(media ${CMAKE_CURRENT_SOURCE_DIR}/media)
  if(IS_DIRECTORY ${media})
    add_custom_target(${name}_media ALL
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${media} $<TARGET_FILE_DIR:${name}>/media
      COMMENT "Copying the media of ${name}"
      VERBATIM)
    add_dependencies(${name} ${name}_media)
  endif()
  if(WIN32 AND CORVANE_RUNTIME_DLLS)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CORVANE_RUNTIME_DLLS} $<TARGET_FILE_DIR:${name}>
      VERBATIM)
  endif()
endfunction()
