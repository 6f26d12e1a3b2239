# Cross-build for 64-bit Windows. The -posix compilers give the standard library
# its threads (googletest needs std::mutex); the saver itself uses Win32 threads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
