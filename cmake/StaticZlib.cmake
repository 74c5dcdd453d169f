# zlib for the companions (kestrin-preview's PNG, kestrin-prepare's checksums)
# as the target kl_zlib: a static library, as the programs link statically,
# under this project's own names (KL_ZLIB_LIBRARY, KL_ZLIB_INCLUDE_DIR), so that
# a host project's zlib, shared perhaps, is left to it.

# A cross compiler named by a toolchain file that gives no CMAKE_FIND_ROOT_PATH
# (Debian's MinGW-w64 with only CMAKE_SYSTEM_NAME and the compilers) keeps its
# libraries where the search does not look; the compiler itself knows where.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_FIND_ROOT_PATH AND NOT KL_ZLIB_LIBRARY
   AND CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
  execute_process(COMMAND "${CMAKE_C_COMPILER}" -print-file-name=libz.a
    OUTPUT_VARIABLE kl_compiler_zlib OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(IS_ABSOLUTE "${kl_compiler_zlib}" AND EXISTS "${kl_compiler_zlib}")
    get_filename_component(kl_compiler_zlib "${kl_compiler_zlib}" REALPATH)
    get_filename_component(kl_compiler_prefix "${kl_compiler_zlib}/../.." ABSOLUTE)
    if(EXISTS "${kl_compiler_prefix}/include/zlib.h")
      set(KL_ZLIB_LIBRARY "${kl_compiler_zlib}" CACHE FILEPATH "zlib's static library")
      set(KL_ZLIB_INCLUDE_DIR "${kl_compiler_prefix}/include" CACHE PATH "zlib's header folder")
    endif()
  endif()
endif()
find_path(KL_ZLIB_INCLUDE_DIR zlib.h)
find_library(KL_ZLIB_LIBRARY NAMES libz.a z zlibstatic zlib)
if(NOT KL_ZLIB_INCLUDE_DIR OR NOT KL_ZLIB_LIBRARY)
  message(FATAL_ERROR "kestrin-preview and kestrin-prepare need zlib (Debian: zlib1g-dev; for "
                      "the Windows cross build, libz-mingw-w64-dev), or set KL_ZLIB_LIBRARY and "
                      "KL_ZLIB_INCLUDE_DIR")
endif()
add_library(kl_zlib INTERFACE)
target_include_directories(kl_zlib SYSTEM INTERFACE "${KL_ZLIB_INCLUDE_DIR}")
target_link_libraries(kl_zlib INTERFACE "${KL_ZLIB_LIBRARY}")
