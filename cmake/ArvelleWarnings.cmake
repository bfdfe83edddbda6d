# Warnings on for the project's own targets; sanitizers for the whole build when asked for.
add_library(arvelle_warnings INTERFACE)
target_compile_options(arvelle_warnings INTERFACE -Wall -Wextra -Wpedantic -Wno-unused-parameter)

if(ARVELLE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz build (clang): coverage instrumentation everywhere, address and undefined-behaviour checks. The
# pointer-overflow check is left out while the element allocator's first slab computes null + size.
if(ARVELLE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=pointer-overflow
                      -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
