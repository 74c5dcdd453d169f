# Compiler settings shared by every target of this project.

# Large files on 32-bit hosts: pictures and texts may exceed 2 GiB.
add_compile_definitions(_FILE_OFFSET_BITS=64)

# KL_OPTIMIZE_TOOLS: every configuration that is not optimised already gets
# Release's flags, for this project's folders only (these variables are read
# per folder, and the host's own folders never see them). A multi-config
# generator is handled configuration by configuration.
if(KL_OPTIMIZE_TOOLS)
  foreach(kl_language C CXX)
    if(CMAKE_CONFIGURATION_TYPES)
      foreach(kl_configuration IN LISTS CMAKE_CONFIGURATION_TYPES)
        string(TOUPPER "${kl_configuration}" kl_configuration)
        if(NOT kl_configuration MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$")
          set(CMAKE_${kl_language}_FLAGS_${kl_configuration} "${CMAKE_${kl_language}_FLAGS_RELEASE}")
        endif()
      endforeach()
    elseif(NOT CMAKE_BUILD_TYPE)
      string(APPEND CMAKE_${kl_language}_FLAGS " ${CMAKE_${kl_language}_FLAGS_RELEASE}")
    else()
      string(TOUPPER "${CMAKE_BUILD_TYPE}" kl_configuration)
      if(NOT kl_configuration MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$")
        set(CMAKE_${kl_language}_FLAGS_${kl_configuration} "${CMAKE_${kl_language}_FLAGS_RELEASE}")
      endif()
    endif()
  endforeach()
endif()

if(KL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# Windows 10 and later, the Win32 calls without the rarely used parts of
# <windows.h>; every program stands alone, with no runtime DLL beside it.
if(WIN32)
  add_compile_definitions(_WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
  if(MINGW)
    add_link_options(-static)
  elseif(MSVC)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  endif()
endif()

# Applies the project's warning set to one target.
function(kl_set_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(KL_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE /WX)
    endif()
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(KL_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# One of the project's programs: `main.cpp` of the current folder over the
# program's library. Build scripts start a converter once per input, so
# start-up time counts: a static program skips the dynamic loader's work (a
# quarter of a millisecond of a 640 x 480 picture's three). The sanitizers
# need dynamic linking.
function(kl_add_program program library)
  add_executable(${program} main.cpp)
  target_link_libraries(${program} PRIVATE ${library})
  kl_set_warnings(${program})
  if(NOT KL_SANITIZE AND NOT WIN32)
    set_target_properties(${library} ${program} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_link_options(${program} PRIVATE -static-pie)
  endif()
endfunction()
