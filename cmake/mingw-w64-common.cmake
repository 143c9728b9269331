# Cross build for Windows with Debian's mingw-w64 toolchain, POSIX-thread variant (std::thread); the
# architecture's file sets CMAKE_SYSTEM_PROCESSOR and QUIB_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QUIB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUIB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUIB_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_COMPILER ${QUIB_MINGW_TRIPLE}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${QUIB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run on this machine under Wine (tests, generators) through the project's wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
