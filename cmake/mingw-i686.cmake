# The shipping build: 32-bit Windows with mingw-w64. The stub runs one thread and uses no C++
# thread library, so it takes the win32-thread variant, which links no pthread emulation.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# This tree builds the shipping stub and checks its image, and builds the 32-bit test programs;
# behaviour is tested mostly by the same sources built for x86_64 and run under 64-bit Wine
# (mingw-x86_64.cmake). 32-bit programs run only under emulation here (scripts/deps32.sh).
set(VEL_SHIPPING_ONLY ON)
# Through a wrapper that keeps Wine's long-lived helper processes off ctest's output pipes.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
