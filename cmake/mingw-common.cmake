# Shared by the mingw-w64 toolchain files, which set MINGW_TRIPLE first.
# The posix-threads variant: its libstdc++ has std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A default only: a plain variable here would hide the emulator given on the
# command line (./test gives one that runs each test in a prefix of its own).
set(CMAKE_CROSSCOMPILING_EMULATOR wine CACHE STRING "Runs the Windows test programs")
