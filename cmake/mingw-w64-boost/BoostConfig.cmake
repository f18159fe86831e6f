# Boost for the MinGW-w64 cross build (../mingw-w64.cmake): the build machine's header-only Boost,
# seen through a folder that holds nothing but a link to its boost/ directory, so that the cross
# compiler finds boost/... there and every other header in its own tree.
if(NOT EXISTS ${VESK_BOOST_HEADERS}/version.hpp)
  set(Boost_FOUND FALSE)
  set(Boost_NOT_FOUND_MESSAGE "No Boost headers in ${VESK_BOOST_HEADERS}")
  return()
endif()

set(_vesk_boost_root ${CMAKE_BINARY_DIR}/boost-headers)
if(NOT EXISTS ${_vesk_boost_root}/boost)
  file(MAKE_DIRECTORY ${_vesk_boost_root})
  file(CREATE_LINK ${VESK_BOOST_HEADERS} ${_vesk_boost_root}/boost SYMBOLIC)
endif()

if(NOT TARGET Boost::headers)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_vesk_boost_root})
endif()
set(Boost_INCLUDE_DIRS ${_vesk_boost_root})
set(Boost_FOUND TRUE)
