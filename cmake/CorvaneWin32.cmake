# The Windows build (mingw-w64, see cmake/mingw-w64.cmake): link options and the
# system libraries the Win32 side of the platform seam needs, and the libraries'
# DLLs placed beside every program. Included after the pkg-config look-ups.

# Console programs: standard output and error reach the terminal that started them.
add_link_options(-mconsole)
# SDL's own main() wrapper is not used: the entry is an ordinary main().
add_compile_definitions(SDL_MAIN_HANDLED)

# sdl2.pc asks for SDL2main and the GUI subsystem (-mwindows); the programs take
# only SDL2 itself.
if(TARGET PkgConfig::SDL2)
  find_library(CORVANE_SDL2_IMPORT NAMES SDL2.dll SDL2 PATHS ${SDL2_LIBRARY_DIRS} NO_DEFAULT_PATH REQUIRED)
  set_target_properties(PkgConfig::SDL2 PROPERTIES
    INTERFACE_LINK_LIBRARIES "${CORVANE_SDL2_IMPORT}"
    INTERFACE_LINK_OPTIONS ""
    INTERFACE_LINK_DIRECTORIES "")
endif()
# libpng is a static library here; the zlib of its Libs.private is named explicitly.
pkg_check_modules(CORVANE_ZLIB REQUIRED IMPORTED_TARGET zlib)
if(TARGET PkgConfig::PICTURES)
  set_property(TARGET PkgConfig::PICTURES APPEND PROPERTY INTERFACE_LINK_LIBRARIES PkgConfig::CORVANE_ZLIB)
endif()
string(APPEND CORVANE_PKG_MODULES " zlib")

# Winsock 2 and the adapter list (sockets), the common dialogs (file dialogs).
set(CORVANE_SYSTEM_LIBRARIES ws2_32 iphlpapi comdlg32)

# The DLLs of the libraries (SDL2, SDL2_mixer, FFmpeg), copied into the build's
# program folder now and beside each program of corvane_add_program.
file(GLOB CORVANE_RUNTIME_DLLS ${CORVANE_WIN_PREFIX}/bin/*.dll)
file(COPY ${CORVANE_RUNTIME_DLLS} DESTINATION ${CMAKE_BINARY_DIR}/bin)

# Tests are listed when ctest runs (under Wine), not while building.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Test files built on mechanisms Windows lacks (fork, posix_spawn, signals, ptrace,
# the BSD socket headers, dlopen, the X tools around Xvfb) stay out of the Windows
# test programs; each is listed with its reason in windows-skipped-tests.txt. The
# behaviours that exist on Windows have Windows forms of their own (*_win32.cpp).
set(CORVANE_WINDOWS_POSIX_ONLY
  "sys/wait\\.h|spawn\\.h|sys/socket\\.h|arpa/inet\\.h|netinet/|poll\\.h|sys/resource\\.h|dlfcn\\.h|sys/ptrace\\.h|sys/un\\.h|tests/support/xvfb\\.h|termios\\.h|sys/mman\\.h")
file(WRITE ${CMAKE_BINARY_DIR}/windows-skipped-tests.txt "")
function(corvane_windows_test_sources out)
  set(kept "")
  foreach(src ${ARGN})
    file(STRINGS ${src} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${CORVANE_WINDOWS_POSIX_ONLY})")
    if(hits)
      list(GET hits 0 first)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" first "${first}")
      file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${src})
      file(APPEND ${CMAKE_BINARY_DIR}/windows-skipped-tests.txt "${rel}: POSIX only (${first})\n")
    else()
      list(APPEND kept ${src})
    endif()
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()
