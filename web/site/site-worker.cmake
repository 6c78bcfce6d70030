# cmake -DSITE=site -DWORKER=sw.js -P site-worker.cmake
# The site's worker: SITE/sw.js, with the site's files and the digest of each, which its
# install checks every file against, and the release's name: a digest of those and of the
# worker itself, so that any change to the site gives a new worker, which replaces the old
# cache. Run again on a changed site, it names that build. The host's headers (_headers)
# are no file of the site's, nor is a folder beside them (a site published at a host's
# root has its neighbours' pages there).
file(GLOB files LIST_DIRECTORIES false RELATIVE "${SITE}" "${SITE}/*")
list(REMOVE_ITEM files sw.js _headers)
list(SORT files)
file(SHA256 "${WORKER}" release)
set(release "sw.js ${release}\n")
set(list "")
foreach(f ${files})
  file(SHA256 "${SITE}/${f}" sum)
  string(APPEND release "${f} ${sum}\n")
  string(APPEND list "\n  '${f}': '${sum}',")
endforeach()
string(SHA256 release "${release}")
string(SUBSTRING "${release}" 0 16 RELEASE)
string(REGEX REPLACE ",$" "\n" FILES "${list}")
configure_file("${WORKER}" "${SITE}/sw.js" @ONLY)
