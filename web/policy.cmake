# include(policy.cmake), then put_policy(<variable holding the page> [<directive>...])
# What a page may run, as a Content-Security-Policy in a <meta> of its own (the page opened
# from disk has no headers to carry one): its own scripts and style, known by their SHA-256
# hashes, WebAssembly compiled from its program, and nothing else from anywhere, with
# <directive>s for what else it loads (the site's: its program, icons, manifests, worker).
# No eval and no inline handler run. The policy goes at the page's "<!-- the policy -->"
# mark, before everything it rules, or in place of the policy the page already has.
#
# Only the page's classic scripts (a bare <script>) run: a script of JSON is data, and the
# page has no other kind.

# The base64 form of a hex digest, as a policy names a hash.
function(base64_of_hex hex out)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  string(LENGTH "${hex}" length)
  set(text "")
  set(at 0)
  while(at LESS length)
    # Three bytes at a time, four letters of six bits each; a short last group is padded.
    string(SUBSTRING "${hex}" ${at} 6 group)
    string(LENGTH "${group}" digits)
    math(EXPR value "0x${group} << (4 * (6 - ${digits}))")
    math(EXPR letters "${digits} * 2 / 3 + 1")
    foreach(shift 18 12 6 0)
      if(letters GREATER 0)
        math(EXPR index "(${value} >> ${shift}) & 63")
        string(SUBSTRING "${alphabet}" ${index} 1 letter)
        string(APPEND text "${letter}")
        math(EXPR letters "${letters} - 1")
      else()
        string(APPEND text "=")
      endif()
    endforeach()
    math(EXPR at "${at} + 6")
  endwhile()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# 'sha256-…' for each element <tag> in the page's text `html` (the element's text as the
# browser reads it, between its tags), into `out`.
function(element_hashes html tag out)
  set(found "")
  set(rest "${${html}}")
  string(FIND "${rest}" "<${tag}>" at)
  while(NOT at EQUAL -1)
    string(LENGTH "<${tag}>" skip)
    math(EXPR at "${at} + ${skip}")
    string(SUBSTRING "${rest}" ${at} -1 rest)
    string(FIND "${rest}" "</${tag}>" end)
    string(SUBSTRING "${rest}" 0 ${end} text)
    string(SUBSTRING "${rest}" ${end} -1 rest)
    string(SHA256 hex "${text}")
    base64_of_hex(${hex} hash)
    string(APPEND found " 'sha256-${hash}'")
    string(FIND "${rest}" "<${tag}>" at)
  endwhile()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(put_policy html)
  set(text "${${html}}")
  # A script or style the hashes would not cover (one with a source, or a type that runs)
  # would be refused in the browser: refused here first.
  string(REGEX MATCH "<script [^>]*>" other "${text}")
  if(other AND NOT other STREQUAL "<script type=\"application/json\" id=\"words\">")
    message(FATAL_ERROR "The page holds ${other}, which its policy does not name")
  endif()
  string(REGEX MATCH "<style [^>]*>" other "${text}")
  if(other)
    message(FATAL_ERROR "The page holds ${other}, which its policy does not name")
  endif()
  # The old policy goes first: a script's own text never holds it.
  string(REGEX REPLACE "<meta http-equiv=\"Content-Security-Policy\" content=\"[^\"]*\">"
         "<!-- the policy -->" text "${text}")
  element_hashes(text script scripts)
  element_hashes(text style styles)
  # 'wasm-unsafe-eval' compiles WebAssembly and nothing else: 'unsafe-eval' would allow
  # eval too. A page shown in no frame needs no form and no base.
  set(policy "default-src 'none'; script-src${scripts} 'wasm-unsafe-eval'; style-src${styles}")
  foreach(directive ${ARGN})
    string(APPEND policy "; ${directive}")
  endforeach()
  string(APPEND policy "; base-uri 'none'; form-action 'none'")
  string(FIND "${text}" "<!-- the policy -->" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "The page has no <!-- the policy --> mark")
  endif()
  string(REPLACE "<!-- the policy -->" "<meta http-equiv=\"Content-Security-Policy\" content=\"${policy}\">"
         text "${text}")
  set(${html} "${text}" PARENT_SCOPE)
endfunction()
