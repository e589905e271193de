# The page's background paint, for make bench: run with node, against the same file built for
# this machine.
add_executable(background_bench EXCLUDE_FROM_ALL tests/bench/background_bench.cpp
                                src/draw.cpp src/image.cpp src/web/decode.cpp)
target_include_directories(background_bench PRIVATE src)
target_link_options(background_bench PRIVATE -sSINGLE_FILE=1) # node would fetch a .wasm by URL
set_property(TARGET background_bench PROPERTY RULE_LAUNCH_LINK "env NODE_PATH=/usr/share/nodejs")
