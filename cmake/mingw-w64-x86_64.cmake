# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, which std::thread and std::jthread need). Used for Qt itself
# (scripts/windows/build-qt.sh) and for the project (scripts/windows/build.sh).
#
# KEYLOOM_QT_MINGW (a cache variable or the environment variable of that
# name) names the folder of Qt built for Windows; it is searched beside the
# MinGW system folder. Qt's host tools (moc, rcc, uic) come from the build
# machine: pass -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=<its cmake folder>.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KEYLOOM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KEYLOOM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEYLOOM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KEYLOOM_MINGW_TRIPLE}-windres)

if(NOT KEYLOOM_QT_MINGW AND DEFINED ENV{KEYLOOM_QT_MINGW})
  set(KEYLOOM_QT_MINGW "$ENV{KEYLOOM_QT_MINGW}")
endif()
# try_compile() projects read this file again and need the same folders.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KEYLOOM_QT_MINGW)

set(CMAKE_FIND_ROOT_PATH /usr/${KEYLOOM_MINGW_TRIPLE})
if(KEYLOOM_QT_MINGW)
  list(APPEND CMAKE_FIND_ROOT_PATH "${KEYLOOM_QT_MINGW}")
  # Package folders are searched below each root path.
  set(CMAKE_PREFIX_PATH /)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
