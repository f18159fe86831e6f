# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, the POSIX-threads flavour (its C++
# library has the whole of <thread> and <mutex>):
#   cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Packages: g++-mingw-w64-x86-64-posix, libboost1.81-dev (headers only), and for the tests a
# GoogleTest built with this same toolchain (GTest_DIR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VESK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VESK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VESK_MINGW_TRIPLET}-windres)

# Libraries and headers come from the toolchain's own tree, never from the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Boost is used header-only. Debian's own package configuration would put /usr/include, the
# build machine's C library included, ahead of the toolchain's headers; this one offers the
# Boost headers alone.
set(Boost_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-boost CACHE PATH "Boost's package configuration")
set(VESK_BOOST_HEADERS /usr/include/boost CACHE PATH "The boost/ folder of Boost's headers")
