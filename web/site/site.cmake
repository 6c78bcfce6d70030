# cmake -DPAGE=vessandrel-tuner.html -DPROGRAM=vessandrel-tuner.wasm -DHEAD=site-head.html
#       -DMANIFEST=manifest.webmanifest -DWORDS=words -DICON=vessandrel-tuner.svg
#       -DRSVG=rsvg-convert -DSITE=site [-DSITE_PATH=/tuner/] -P site.cmake
# The site's files but its worker (site-worker.cmake): the page with the site's head put
# in, the program it fetches, a manifest in each of the page's languages, the icons drawn
# from the tuner's SVG, and the headers a host should send with them (_headers).
file(REMOVE_RECURSE "${SITE}")
file(MAKE_DIRECTORY "${SITE}")

include(${CMAKE_CURRENT_LIST_DIR}/../policy.cmake)
file(READ "${PAGE}" page)
file(READ "${HEAD}" head)
string(FIND "${page}" "</head>" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${PAGE} has no </head>")
endif()
string(SUBSTRING "${page}" 0 ${at} before)
string(SUBSTRING "${page}" ${at} -1 rest)
set(page "${before}${head}${rest}")

# The program's file is named after its contents, and the page names that file: a page of
# one build never runs the program of another, whatever a host or a cache in between keeps,
# and a host may let browsers keep the program for good (_headers, below).
get_filename_component(name "${PROGRAM}" NAME)
get_filename_component(stem "${PROGRAM}" NAME_WE)
file(SHA256 "${PROGRAM}" sum)
string(SUBSTRING "${sum}" 0 16 sum)
set(program "${stem}.${sum}.wasm")
string(REGEX MATCHALL "[\"']${name}[\"']" named "${page}")
list(LENGTH named times)
if(NOT times EQUAL 1)
  message(FATAL_ERROR "${PAGE} names ${name} ${times} times, not once: it cannot be renamed")
endif()
string(REPLACE "${named}" "\"${program}\"" page "${page}")
file(COPY "${PROGRAM}" DESTINATION "${SITE}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(RENAME "${SITE}/${name}" "${SITE}/${program}")

# The site loads from its own host only: its program (fetched), its icons, its manifests
# and its worker.
put_policy(page "connect-src 'self'" "img-src 'self'" "manifest-src 'self'" "worker-src 'self'")
file(WRITE "${SITE}/index.html" "${page}")

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

# _headers, in the form that static hosts read (Netlify's, Cloudflare Pages' and others'),
# which read it at the root of what they publish only: its paths are the site's own files
# under SITE_PATH, the folder the site is published in ("/" by default), and no other
# address of the host, so that it sets nothing on a neighbour's pages. It sends what the
# site's own host configurations beside this script send (nginx.conf, apache.conf,
# Caddyfile): the one thing of the page's policy that a <meta> cannot carry, that no other
# origin may frame it; the worker's policy, which a worker takes from its headers only;
# nosniff for every file; the program's type, without which a browser will not compile it
# as it downloads; and how long browsers may keep each file. The page, the worker, the
# manifests and the icons keep their names from build to build, and are asked for again at
# every visit (a new release is found at once); the program's name is its digest, so it is
# kept for a year, unchanged.
if(NOT DEFINED SITE_PATH)
  set(SITE_PATH /)
endif()
if(NOT SITE_PATH MATCHES "^/(.*/)?$")
  message(FATAL_ERROR "SITE_PATH ${SITE_PATH} is no folder's path: it starts and ends with /")
endif()
file(GLOB files RELATIVE "${SITE}" "${SITE}/*")
list(APPEND files sw.js)
list(SORT files)
set(nosniff "  X-Content-Type-Options: nosniff\n")
set(headers "${SITE_PATH}\n${nosniff}  Content-Security-Policy: frame-ancestors 'none'\n  Cache-Control: no-cache\n")
foreach(f ${files})
  string(APPEND headers "${SITE_PATH}${f}\n${nosniff}")
  if(f STREQUAL "${program}")
    string(APPEND headers "  Content-Type: application/wasm\n  Cache-Control: public, max-age=31536000, immutable\n")
  elseif(f STREQUAL index.html)
    string(APPEND headers "  Content-Security-Policy: frame-ancestors 'none'\n  Cache-Control: no-cache\n")
  elseif(f STREQUAL sw.js)
    string(APPEND headers "  Content-Security-Policy: default-src 'none'; connect-src 'self'\n  Cache-Control: no-cache\n")
  else()
    string(APPEND headers "  Cache-Control: no-cache\n")
  endif()
endforeach()
file(WRITE "${SITE}/_headers" "${headers}")
