# zemlotriage.exe: the x64 cross build with the posix-threads runtime, since
# zemlotriage reads on two threads and GCC 12's win32-threads runtime has no
# std::thread. The diagnostic itself uses mingw-x64.cmake (no threading DLL
# or Vista-only import).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
