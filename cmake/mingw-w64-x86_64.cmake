# 64-bit Windows, for testing where 32-bit programs cannot run.
set(TALLSAY_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
