# Cross-compiles for 64-bit Windows with the MinGW-w64 toolchain (POSIX
# thread model, which std::thread and std::mutex need).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FHSW_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FHSW_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FHSW_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FHSW_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FHSW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime libraries go into the executables, so that they start on a
# machine without MinGW.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs go without their symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
