# Warnings are on everywhere; the tree builds clean. TF_WERROR makes them
# errors, as the CI scripts build (a newer compiler's new warnings should not
# stop someone who only wants to build the program, so it is off by default).
option(TF_WERROR "Treat compiler warnings as errors" OFF)

function(tf_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wformat=2)
  if(TF_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(TF_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz tree instruments every library for coverage and the sanitizers;
# only the fuzz targets themselves link libFuzzer's main.
if(TF_BUILD_FUZZ)
  add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined
    -fsanitize-coverage-ignorelist=${CMAKE_SOURCE_DIR}/fuzz/coverage-ignore.txt)
  add_link_options(-fsanitize=address,undefined)
endif()
