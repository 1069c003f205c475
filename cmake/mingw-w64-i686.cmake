# 32-bit Windows, the home platform.
set(TALLSAY_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
