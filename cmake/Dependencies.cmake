# zlib is the launcher's one library dependency. It is linked statically on both targets
# so that the launcher stub runs on a machine that has nothing of ours.
find_path(PLB_ZLIB_INCLUDE zlib.h REQUIRED)
find_library(PLB_ZLIB_STATIC NAMES libz.a REQUIRED)
add_library(plb_zlib INTERFACE)
target_include_directories(plb_zlib INTERFACE ${PLB_ZLIB_INCLUDE})
target_link_libraries(plb_zlib INTERFACE ${PLB_ZLIB_STATIC})

if(PLB_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    # Debian ships GoogleTest's sources; build them with the cross compiler.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
