# Install rules: the umbrella header and the headers it reaches, the runtime and its
# entry, the CMake package, the pkg-config file and the tools programs are made with.
include(CMakePackageConfigHelpers)

# The public headers: include/corvane/corvane.h and every runtime header it reaches
# through #include "runtime/...". Headers nothing public includes stay internal.
set(_queue include/corvane/corvane.h)
set(_public "")
while(_queue)
  list(POP_FRONT _queue _header)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${_header})
  file(STRINGS ${CMAKE_SOURCE_DIR}/${_header} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"runtime/[^\"]+\"")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE ".*\"(runtime/[^\"]+)\".*" "\\1" _included "${_line}")
    if(NOT _included IN_LIST _public)
      list(APPEND _public ${_included})
      list(APPEND _queue ${_included})
    endif()
  endforeach()
endwhile()
install(FILES include/corvane/corvane.h DESTINATION include/corvane)
foreach(_header IN LISTS _public)
  get_filename_component(_dir ${_header} DIRECTORY)
  install(FILES ${_header} DESTINATION include/corvane/${_dir})
endforeach()

install(TARGETS corvane corvane_main ARCHIVE DESTINATION lib)

configure_file(cmake/CorvaneConfig.cmake.in ${CMAKE_BINARY_DIR}/package/CorvaneConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/CorvaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/CorvaneConfig.cmake
              ${CMAKE_BINARY_DIR}/package/CorvaneConfigVersion.cmake
              cmake/CorvaneProgram.cmake
        DESTINATION lib/cmake/Corvane)
# What corvane.pc adds to the runtime's own flags.
if(WIN32)
  # sdl2.pc would rename main and ask for SDL2main and the GUI subsystem: SDL's
  # flags are written out instead. The GL is opengl32; the compiler's run-time
  # libraries are linked in as the build's are. SDL2_mixer.dll is opened at run time.
  set(CORVANE_PC_REQUIRES "lzo2 libpng libjpeg zlib")
  set(CORVANE_PC_CFLAGS "-I\${includedir}/SDL2 -DSDL_MAIN_HANDLED -D_USE_MATH_DEFINES -DWINGDIAPI=__declspec(dllimport) -DAPIENTRY=__stdcall")
  list(JOIN CORVANE_SYSTEM_LIBRARIES " -l" _corvane_system)
  set(CORVANE_PC_LIBS "-lSDL2 -lopengl32 -l${_corvane_system} -mconsole ${CORVANE_MINGW_STATIC_RUNTIME}")
else()
  set(CORVANE_PC_REQUIRES "${CORVANE_PKG_MODULES} gl")
  set(CORVANE_PC_CFLAGS "")
  set(CORVANE_PC_LIBS "-lpthread -ldl")
endif()
configure_file(cmake/corvane.pc.in ${CMAKE_BINARY_DIR}/package/corvane.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/corvane.pc DESTINATION lib/pkgconfig)

install(TARGETS corvane-pack screen-text RUNTIME DESTINATION bin)
install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/corvane-new DESTINATION bin)
foreach(_tool corvane-font corvane-model)
  if(TARGET ${_tool})
    install(TARGETS ${_tool} RUNTIME DESTINATION bin)
  endif()
endforeach()
install(FILES docs/commands.md DESTINATION share/doc/corvane)
