# Cross-compiling for 32-bit Windows with Debian's mingw-w64, posix-thread variant
# (g++-mingw-w64-i686-posix), linked statically like the 64-bit build
# (mingw-w64.cmake). A 32-bit program loads the 32-bit qbXML request processor, the only
# one QuickBooks Desktop registers before its 2022 release; the setup program installs
# this build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_AR i686-w64-mingw32-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB i686-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "Ranlib")
# Doubles are computed in SSE2 registers, as in the 64-bit build and on Linux, not in the
# x87 unit's 80 bits: the same sums round alike, so the books equal a 64-bit run's.
# Every processor that runs a supported Windows has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
