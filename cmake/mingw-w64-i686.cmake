# Cross-build for Windows with Debian's mingw-w64 (the -posix compilers,
# whose runtime has std::thread and std::mutex). The program is a 32-bit
# (i686) one: it runs on 32-bit Windows and, under WoW64, on 64-bit Windows,
# where it sees the registry's 32-bit view as the components' installers
# write it. Windows 7 is the oldest system it targets; anything newer is
# looked up at run time. Programs are linked statically: the .exe needs no
# DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_qarx_triplet i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_qarx_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_qarx_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_qarx_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_qarx_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# DLLs export their functions by their plain names, as Windows' own do.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--kill-at")

# Test programs run under Wine, in the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run)
