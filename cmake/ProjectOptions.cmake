# Compiler settings shared by every target of this project.

# Large files on 32-bit hosts: pictures and texts may exceed 2 GiB.
add_compile_definitions(_FILE_OFFSET_BITS=64)

if(KL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# Applies the project's warning set to one target.
function(kl_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(KL_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
