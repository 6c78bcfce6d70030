# cmake -DPAGE=vessandrel-tuner.html -DPROGRAM=vessandrel-tuner.wasm -DHEAD=site-head.html
#       -DMANIFEST=manifest.webmanifest -DWORDS=words -DICON=vessandrel-tuner.svg
#       -DRSVG=rsvg-convert -DSITE=site -P site.cmake
# The site's files but its worker (site-worker.cmake): the page with the site's head put
# in, the program it fetches, a manifest in each of the page's languages, and the icons
# drawn from the tuner's SVG.
file(REMOVE_RECURSE "${SITE}")
file(MAKE_DIRECTORY "${SITE}")

include(${CMAKE_CURRENT_LIST_DIR}/policy.cmake)
file(READ "${PAGE}" page)
file(READ "${HEAD}" head)
string(FIND "${page}" "</head>" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${PAGE} has no </head>")
endif()
string(SUBSTRING "${page}" 0 ${at} before)
string(SUBSTRING "${page}" ${at} -1 rest)
set(page "${before}${head}${rest}")
# The site loads from its own host only: its program (fetched), its icons, its manifests
# and its worker.
put_policy(page "connect-src 'self'" "img-src 'self'" "manifest-src 'self'" "worker-src 'self'")
file(WRITE "${SITE}/index.html" "${page}")
file(COPY "${PROGRAM}" DESTINATION "${SITE}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# manifest-<language>.webmanifest: the manifest (all but its words) with that language's
# title, home-screen title and summary (WORDS/<language>.json), which the page links in
# its own language.
file(READ "${MANIFEST}" manifest)
macro(put member text)
  string(REPLACE "\\" "\\\\" quoted "${text}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(JSON translated SET "${translated}" ${member} "\"${quoted}\"")
endmacro()
file(GLOB tables RELATIVE "${WORDS}" "${WORDS}/*.json")
foreach(table ${tables})
  string(REGEX REPLACE "\\.json$" "" language "${table}")
  file(READ "${WORDS}/${table}" words)
  string(JSON title GET "${words}" title)
  string(JSON home_title GET "${words}" homeTitle)
  string(JSON summary GET "${words}" summary)
  set(translated "${manifest}")
  put(lang "${language}")
  put(name "${title}")
  put(short_name "${home_title}")
  put(description "${summary}")
  file(WRITE "${SITE}/manifest-${language}.webmanifest" "${translated}\n")
endforeach()

# The icon's own dark square fills the corners (-b), so that no launcher shows them
# transparent: iOS would make them black, and rounds the corners itself.
function(draw name)
  execute_process(COMMAND "${RSVG}" ${ARGN} -o "${SITE}/${name}" "${ICON}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()
draw(icon-192.png -w 192 -h 192)
draw(icon-512.png -w 512 -h 512)
draw(apple-touch-icon.png -w 180 -h 180 -b "#1b2233")
# Launchers cut a maskable icon to a shape of their own, keeping only a circle of 80 % of
# its width: the strings (from 8 to 58 of the SVG's 64 units, around its middle) drawn
# 5.75 px a unit stay inside it, on the icon's own colour to the edges.
draw(icon-maskable-512.png -w 368 -h 368 --page-width 512 --page-height 512 --left 72 --top 72
     -b "#1b2233")
