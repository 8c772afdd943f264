# The shipped stub: 32-bit Windows, compiled by clang (its -Oz and whole-program optimisation make
# the smallest image), linked by lld against the mingw-w64 runtime and C++ library of the GCC
# cross compiler (the win32-thread variant, as in mingw-i686.cmake). Only the stub is built here;
# the shipping tree (mingw-i686.cmake) builds this tree for it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
find_program(CMAKE_AR NAMES llvm-ar llvm-ar-14 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib llvm-ranlib-14 REQUIRED)
# The GCC cross compiler's own folder: its C++ headers and its libraries.
execute_process(COMMAND i686-w64-mingw32-g++-win32 -print-libgcc-file-name
                OUTPUT_VARIABLE _libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_gcc ${_libgcc} DIRECTORY)
execute_process(COMMAND clang -print-resource-dir OUTPUT_VARIABLE _res OUTPUT_STRIP_TRAILING_WHITESPACE)
# Only the target's headers: clang would otherwise also search the host's.
set(_inc "-nostdinc -isystem ${_gcc}/include/c++ -isystem ${_gcc}/include/c++/i686-w64-mingw32")
string(APPEND _inc " -isystem ${_gcc}/include/c++/backward -isystem ${_res}/include -isystem /usr/i686-w64-mingw32/include")
set(CMAKE_C_FLAGS_INIT "${_inc} -Wno-unused-command-line-argument")
set(CMAKE_CXX_FLAGS_INIT "${_inc} -Wno-unused-command-line-argument")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_gcc} -L/usr/i686-w64-mingw32/lib")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(VEL_SHIPPING_ONLY ON)
set(VEL_STUB_ONLY ON)
