# Cross-build for Windows with Debian's MinGW-w64 toolchain, for the processor
# that TALLSAY_MINGW_ARCH names (i686 or x86_64). Programs are linked
# statically, so they need no DLL beyond those of Windows itself (the threads
# model is POSIX, which the test framework needs), and are run under wine when
# tests run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TALLSAY_MINGW_ARCH})

set(CMAKE_C_COMPILER ${TALLSAY_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLSAY_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${TALLSAY_MINGW_ARCH}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TALLSAY_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
