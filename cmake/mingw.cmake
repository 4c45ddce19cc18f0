# Cross build for Windows with Debian's mingw-w64 toolchains. VELMORA_ARCH selects i686 (the 32-bit
# product) or x86_64 (the build whose tests and program run under the machine's 64-bit Wine).
if(NOT VELMORA_ARCH)
    set(VELMORA_ARCH i686)
endif()
set(VELMORA_ARCH ${VELMORA_ARCH} CACHE STRING "i686 or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(triple ${VELMORA_ARCH}-w64-mingw32)
# The product uses no C++ threads; the Win32 thread model keeps the POSIX thread runtime (and its imports
# that Windows XP lacks) out of the 32-bit program. The tests' build needs C++ threads.
if(VELMORA_ARCH STREQUAL "i686")
    set(thread_model win32)
else()
    set(thread_model posix)
endif()
set(CMAKE_C_COMPILER ${triple}-gcc-${thread_model})
set(CMAKE_CXX_COMPILER ${triple}-g++-${thread_model})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine.sh)
