# Writes the service worker from its template (TEMPLATE, into OUT): the list of the page's FILES,
# and the build's name, made from their contents, so that any change to any of them is a new
# worker. FILES is separated by |, which a command line keeps whole.
string(REPLACE "|" ";" FILES "${FILES}")
set(hashes "")
set(FILES_JS "\"./\"")
foreach(file ${FILES})
  file(SHA256 ${file} hash)
  string(APPEND hashes ${hash})
  string(APPEND FILES_JS ", \"${file}\"")
endforeach()
string(SHA256 BUILD "${hashes}")
string(SUBSTRING ${BUILD} 0 16 BUILD)
configure_file(${TEMPLATE} ${OUT} @ONLY)
