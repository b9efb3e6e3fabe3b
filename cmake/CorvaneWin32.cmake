# The Windows build (mingw-w64, see cmake/mingw-w64.cmake): link options and the
# system libraries the Win32 side of the platform seam needs, and the libraries'
# DLLs placed beside every program. Included after the pkg-config look-ups.

# Console programs: standard output and error reach the terminal that started them.
add_link_options(-mconsole)
# SDL's own main() wrapper is not used: the entry is an ordinary main().
add_compile_definitions(SDL_MAIN_HANDLED)
# GL/gl.h here pulls in all of windows.h (and its macros: CopyFile becomes
# CopyFileA...) unless these two are defined: Win32 stays inside the seam.
add_compile_definitions("WINGDIAPI=__declspec(dllimport)" "APIENTRY=__stdcall")
# M_PI and its kin, which the C library here shows only when asked.
add_compile_definitions(_USE_MATH_DEFINES)

# sdl2.pc renames main to SDL_main and asks for SDL2main and the GUI subsystem
# (-mwindows), and SDL2_mixer.pc passes that on; the programs take SDL2 itself only.
find_library(CORVANE_SDL2_IMPORT NAMES SDL2.dll SDL2 PATHS ${CORVANE_WIN_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
foreach(_corvane_pkg SDL2 SDL2_MIXER)
  if(TARGET PkgConfig::${_corvane_pkg})
    foreach(_corvane_prop INTERFACE_COMPILE_OPTIONS INTERFACE_LINK_LIBRARIES INTERFACE_LINK_OPTIONS)
      get_target_property(_corvane_values PkgConfig::${_corvane_pkg} ${_corvane_prop})
      if(_corvane_values)
        list(FILTER _corvane_values EXCLUDE REGEX "^-Dmain=|SDL2main|^-mwindows$|libmingw32|^-lmingw32$")
        set_target_properties(PkgConfig::${_corvane_pkg} PROPERTIES ${_corvane_prop} "${_corvane_values}")
      endif()
    endforeach()
  endif()
endforeach()
# libpng is a static library here; the zlib of its Libs.private is named explicitly.
pkg_check_modules(CORVANE_ZLIB REQUIRED IMPORTED_TARGET zlib)
if(TARGET PkgConfig::PICTURES)
  set_property(TARGET PkgConfig::PICTURES APPEND PROPERTY INTERFACE_LINK_LIBRARIES PkgConfig::CORVANE_ZLIB)
endif()
string(APPEND CORVANE_PKG_MODULES " zlib")
# lzo2.pc names its own folder (include/lzo) while the sources write <lzo/...>,
# which on Linux the system's include folder resolves.
if(TARGET PkgConfig::LZO2)
  set_property(TARGET PkgConfig::LZO2 APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${CORVANE_WIN_PREFIX}/include)
endif()

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
    # A file that names _WIN32 has been given its Windows form and is kept.
    file(STRINGS ${src} adapted REGEX "_WIN32")
    file(STRINGS ${src} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${CORVANE_WINDOWS_POSIX_ONLY})")
    if(adapted)
      set(hits "")
    endif()
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

# The installed package carries the libraries it was built with, so a game's own
# project needs nothing else: their headers, import and static libraries, DLLs and
# pkg-config files (made relative to their own place), the toolchain file and the
# Wine runner beside the CMake package.
install(FILES ${CORVANE_RUNTIME_DLLS} DESTINATION bin)
install(DIRECTORY ${CORVANE_WIN_PREFIX}/include/ DESTINATION include
        PATTERN "gtest" EXCLUDE PATTERN "gmock" EXCLUDE PATTERN "libopenmpt" EXCLUDE)
file(GLOB _corvane_win_libs ${CORVANE_WIN_PREFIX}/lib/*.a)
list(FILTER _corvane_win_libs EXCLUDE REGEX "/lib(gtest|gmock|openmpt)[^/]*$")
install(FILES ${_corvane_win_libs} DESTINATION lib)
file(GLOB _corvane_win_pcs ${CORVANE_WIN_PREFIX}/lib/pkgconfig/*.pc)
list(FILTER _corvane_win_pcs EXCLUDE REGEX "/(gtest|gmock|libopenmpt)[^/]*$")
install(CODE "
  foreach(pc ${_corvane_win_pcs})
    file(READ \${pc} text)
    string(REGEX REPLACE \"(^|\\n)prefix=[^\\n]*\" \"\\\\1prefix=\\\${pcfiledir}/../..\" text \"\${text}\")
    get_filename_component(name \${pc} NAME)
    file(WRITE \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/pkgconfig/\${name} \"\${text}\")
  endforeach()")
install(FILES ${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake DESTINATION lib/cmake/Corvane)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/windows/wine-run.sh DESTINATION lib/cmake/Corvane)

# Every test file gets the POSIX set-up calls it uses (tests/support/windows_compat.h).
set(CORVANE_WINDOWS_TEST_COMPAT ${CMAKE_SOURCE_DIR}/tests/support/windows_compat.h)
