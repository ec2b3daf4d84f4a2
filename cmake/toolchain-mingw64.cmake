# Cross-compiles for 64-bit Windows with Debian's mingw-w64, tests run under wine.
# The -posix drivers: the win32 thread model has no std::mutex or std::thread.
# TOLBE_WIN_DEPS (environment or -D) is the folder scripts/windows.sh builds the libraries into.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

if(NOT TOLBE_WIN_DEPS AND DEFINED ENV{TOLBE_WIN_DEPS})
  set(TOLBE_WIN_DEPS $ENV{TOLBE_WIN_DEPS})
endif()
if(NOT TOLBE_WIN_DEPS)
  message(FATAL_ERROR "TOLBE_WIN_DEPS must name the folder of the Windows libraries (scripts/windows.sh)")
endif()
set(TOLBE_WIN_DEPS ${TOLBE_WIN_DEPS} CACHE PATH "Windows libraries built by scripts/windows.sh")
# CMake's own test projects read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOLBE_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple} ${TOLBE_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config answers for the Windows libraries only, never for the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${TOLBE_WIN_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Windows 7 and later; no min/max macros over std::min; the POSIX names of the thread-safe time
# calls (localtime_r) that mingw-w64 offers; M_PI.
set(_defines "-D_WIN32_WINNT=0x0601 -DNOMINMAX -DWIN32_LEAN_AND_MEAN -D_POSIX_THREAD_SAFE_FUNCTIONS=200112L -D_USE_MATH_DEFINES")
set(CMAKE_C_FLAGS_INIT "${_defines}")
set(CMAKE_CXX_FLAGS_INIT "${_defines}")
# One self-contained .exe: no libstdc++, libgcc or winpthread DLL to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
