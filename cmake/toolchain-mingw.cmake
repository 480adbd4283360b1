# Cross-compiles for Windows with Debian's mingw-w64 toolchain, against its real headers
# and import libraries. CORVANE_MINGW_ARCH is i686 (the product) or x86_64 (the build
# whose tests run under Wine). The -posix variants carry std::mutex and std::thread, which
# GoogleTest needs.
if(NOT CORVANE_MINGW_ARCH)
  set(CORVANE_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CORVANE_MINGW_ARCH})
set(CMAKE_C_COMPILER ${CORVANE_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
