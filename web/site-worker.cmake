# cmake -DSITE=site -DWORKER=sw.js -P site-worker.cmake
# The site's worker: SITE/sw.js, with the list of the site's files and a cache named after
# them (a digest of their names and contents), so that any change to the site gives a new
# worker, which replaces the old cache. Run again on a changed site, it names that build.
file(GLOB files RELATIVE "${SITE}" "${SITE}/*")
list(REMOVE_ITEM files sw.js)
list(SORT files)
set(digest "")
set(list "")
foreach(f ${files})
  file(SHA256 "${SITE}/${f}" sum)
  string(APPEND digest "${f} ${sum}\n")
  string(APPEND list "'./${f}', ")
endforeach()
string(SHA256 digest "${digest}")
string(SUBSTRING "${digest}" 0 16 digest)
set(CACHE_NAME "vessandrel-tuner-${digest}")
string(REGEX REPLACE ", $" "" FILES "${list}")
configure_file("${WORKER}" "${SITE}/sw.js" @ONLY)
