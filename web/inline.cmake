# cmake -DPAGE=page.html -DSCRIPT=tuner.js -DOUTPUT=out.html -P inline.cmake
# The program's script, WebAssembly and all, put where the page marks it.
file(READ "${PAGE}" page)
file(READ "${SCRIPT}" script)
# Inside a script element the first "</script" would end it.
string(FIND "${script}" "</script" closing)
if(NOT closing EQUAL -1)
  message(FATAL_ERROR "${SCRIPT} holds \"</script\" and cannot go into the page as it is")
endif()
string(FIND "${page}" "<!-- the program -->" mark)
if(mark EQUAL -1)
  message(FATAL_ERROR "${PAGE} has no <!-- the program --> mark")
endif()
string(REPLACE "<!-- the program -->" "<script>\n${script}</script>" page "${page}")
file(WRITE "${OUTPUT}.tmp" "${page}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
