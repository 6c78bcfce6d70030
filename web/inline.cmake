# cmake -DPAGE=page.html -DWORDS=words -DPAGE_SCRIPT=page.js -DSCRIPT=tuner.js -DOUTPUT=out.html
#       -P inline.cmake
# The page's words, every language's table in WORDS (<language>.json) as one JSON object
# by language, the page's own script, and the program's script, WebAssembly and all, put
# where the page marks them, each as it is; then the page's policy, naming its scripts as
# they now are (policy.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/policy.cmake)
file(READ "${PAGE}" page)

# Inside a script element the first "</script" would end it.
function(read_script file out)
  file(READ "${file}" text)
  string(FIND "${text}" "</script" closing)
  if(NOT closing EQUAL -1)
    message(FATAL_ERROR "${file} holds \"</script\" and cannot go into the page as it is")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
read_script("${PAGE_SCRIPT}" page_script)
read_script("${SCRIPT}" script)

file(GLOB tables RELATIVE "${WORDS}" "${WORDS}/*.json")
list(SORT tables)
set(words "")
foreach(table ${tables})
  file(READ "${WORDS}/${table}" text)
  # Nothing in a script's data may look like markup; the words never need a "<".
  string(FIND "${text}" "<" markup)
  if(NOT markup EQUAL -1)
    message(FATAL_ERROR "${WORDS}/${table} holds a \"<\", which the page cannot carry in a script")
  endif()
  string(REGEX REPLACE "\\.json$" "" language "${table}")
  string(APPEND words "\"${language}\": ${text},\n")
endforeach()
string(REGEX REPLACE ",\n$" "" words "${words}")

foreach(mark "<!-- the words -->" "<!-- the page's script -->" "<!-- the program -->")
  string(FIND "${page}" "${mark}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PAGE} has no ${mark} mark")
  endif()
endforeach()
string(REPLACE "<!-- the words -->" "<script type=\"application/json\" id=\"words\">\n{${words}}\n</script>" page "${page}")
string(REPLACE "<!-- the page's script -->" "<script>\n${page_script}</script>" page "${page}")
string(REPLACE "<!-- the program -->" "<script>\n${script}</script>" page "${page}")
# A program carried in the page (SINGLE_FILE) is a data: URL, which emscripten's run time
# fetches: that fetch, and no other, is allowed.
string(REGEX MATCH "wasmBinaryFile ?= ?[\"']data:" carried "${script}")
if(NOT carried)
  put_policy(page)
else()
  put_policy(page "connect-src data:")
endif()
file(WRITE "${OUTPUT}.tmp" "${page}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
