# Cross-building for 64-bit Windows with Debian's mingw-w64, tested under Wine.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DCORVANE_WIN_PREFIX=<prefix printed by scripts/windows/deps.sh>
# The -posix compilers: the default (win32 thread model) ones have no std::thread
# or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVANE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${CORVANE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER  ${CORVANE_MINGW}-windres)
set(CMAKE_AR           ${CORVANE_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       ${CORVANE_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# Where the Windows libraries are (scripts/windows/deps.sh prints it).
if(NOT DEFINED CORVANE_WIN_PREFIX)
  set(CORVANE_WIN_PREFIX "$ENV{CORVANE_WIN_PREFIX}")
endif()
set(CORVANE_WIN_PREFIX "${CORVANE_WIN_PREFIX}" CACHE PATH "Prefix holding the Windows builds of the libraries")
# try_compile projects see only the environment, so the prefix travels there too.
set(ENV{CORVANE_WIN_PREFIX} "${CORVANE_WIN_PREFIX}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_WIN_PREFIX)

# Headers and libraries only from the mingw-w64 sysroot and the prefix; programs
# (code generators, python) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW} ${CORVANE_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the prefix's .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${CORVANE_WIN_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# The compiler's own run-time libraries linked in (libwinpthread too: the static
# libstdc++ still pulls its DLL otherwise), so only our own DLLs sit beside a program.
set(CORVANE_MINGW_STATIC_RUNTIME
    "-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${CORVANE_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CORVANE_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${CORVANE_MINGW_STATIC_RUNTIME}")

# Test discovery at build time and ctest run the programs under Wine.
# (Beside this file in an installed package, in scripts/windows/ of the sources.)
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/wine-run.sh)
endif()
