# The tests' own builds of the toy, chosen when it is configured; included by the top level
# before any target, so that every source is built so.

# A second build for the tests: AddressSanitizer and UndefinedBehaviorSanitizer, stopping at
# the first report.
option(DRESSUP_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(DRESSUP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(DRESSUP_SANITIZED)
endif()

# Fuzzing (scripts/fuzz): clang's libFuzzer, with its coverage in every source of the toy.
option(DRESSUP_FUZZ "Build the fuzz targets (clang only)" OFF)
if(DRESSUP_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
