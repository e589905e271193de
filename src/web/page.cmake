# The page: the same toy built by Emscripten (make web, into build-web/). Included by the top
# level, so its paths are the top level's. The browser runs the loop and holds the decoder in its
# sandbox, so the desktop's entry, waiting, hints, decoding helper and sandbox give way to
# src/web/; the pictures go into the page's own file system.

# Emscripten's own SDL 1.2, which newer Emscripten releases link only when asked.
add_compile_options(-sUSE_SDL=1)
add_link_options(-sUSE_SDL=1)
add_executable(dressup src/app.cpp src/draw.cpp src/image.cpp src/web/main.cpp
                       src/web/decode.cpp src/web/hints.cpp src/web/rand.cpp)
target_include_directories(dressup PRIVATE src)
foreach(picture model pant sabates camiseta bufanda_gorro)
  set(file ${PROJECT_SOURCE_DIR}/pictures/${picture}.png)
  target_link_options(dressup PRIVATE "SHELL:--preload-file ${file}@/pictures/${picture}.png")
  set_property(TARGET dressup APPEND PROPERTY LINK_DEPENDS ${file})
endforeach()
# stb_image decodes in the page, reading a file's own colours as SDL_image does; Emscripten's
# SDL calls it, and the allocator, from JavaScript.
target_link_options(dressup PRIVATE -sSTB_IMAGE=1 -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=2gb -sEXPORTED_RUNTIME_METHODS=FS -sDYNAMIC_EXECUTION=0
  -sEXPORTED_FUNCTIONS=_main,_malloc,_free,_stbi_load,_stbi_load_from_memory,_stbi_image_free)
# Debian's Emscripten runs its JavaScript tools on node with Debian's modules, which a node
# installed otherwise does not look for.
set_property(TARGET dressup PROPERTY RULE_LAUNCH_LINK "env NODE_PATH=/usr/share/nodejs")
# The page itself, copied as it is; words.js names the languages there are, below.
set(page_sources index.html page.css page.js pointer.js pieces.js places.js
                 manifest.webmanifest)
foreach(file ${page_sources})
  configure_file(src/web/${file} ${file} COPYONLY)
endforeach()
# The page's words in every language of po/LINGUAS, each compiled by msgfmt into a catalogue
# the page reads for the browser's language.
find_program(MSGFMT msgfmt NO_CMAKE_FIND_ROOT_PATH)
if(NOT MSGFMT)
  message(FATAL_ERROR "msgfmt not found: install gettext")
endif()
file(STRINGS po/LINGUAS languages REGEX "^[^#]")
foreach(lang ${languages})
  add_custom_command(OUTPUT locale/${lang}.mo
    COMMAND ${CMAKE_COMMAND} -E make_directory locale
    COMMAND ${MSGFMT} -o locale/${lang}.mo ${PROJECT_SOURCE_DIR}/po/${lang}.po
    DEPENDS po/${lang}.po)
  list(APPEND catalogues locale/${lang}.mo)
endforeach()
add_custom_target(catalogues ALL DEPENDS ${catalogues})
string(REPLACE ";" " " LINGUAS "${languages}")
configure_file(src/web/words.js words.js @ONLY)
configure_file(desktop/icons/64.png icon.png COPYONLY)
# Installable and offline: the manifest, the icons a home screen takes, and a service worker
# that keeps every file of the page, named by a hash of them all.
set(page_files ${page_sources} words.js icon.png)
list(TRANSFORM page_sources PREPEND src/web/ OUTPUT_VARIABLE page_source_paths)
foreach(size 180 192 512)
  configure_file(desktop/icons/${size}.png icons/${size}.png COPYONLY)
  list(APPEND page_files icons/${size}.png)
endforeach()
list(APPEND page_files dressup.js dressup.wasm dressup.data ${catalogues})
string(REPLACE ";" "|" page_files "${page_files}")
add_custom_command(OUTPUT sw.js
  COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${PROJECT_SOURCE_DIR}/src/web/sw.js -DOUT=sw.js
          -DFILES=${page_files} -P ${PROJECT_SOURCE_DIR}/src/web/sw.cmake
  DEPENDS dressup ${catalogues} src/web/sw.js src/web/sw.cmake src/web/words.js
          ${page_source_paths} VERBATIM)
add_custom_target(service_worker ALL DEPENDS sw.js)
