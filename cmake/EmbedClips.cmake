# Turns each Ogg clip in assets/ into a C++ source defining a const byte array and its
# length, so the program carries its notes inside and never touches the file system.
set(EMBED_CLIP_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_clip.cmake)
# The generated sources include the program's header of the clips.
set(EMBED_CLIP_HEADERS ${CMAKE_CURRENT_LIST_DIR}/../src)
# The six notes, string 1 to 6, as the files in assets/ and the arrays are named.
set(TUNER_CLIPS s1e s2b s3g s4d s5a s6e)

# embed_clips(<target> <asset dir>): a static library holding the arrays <name>Array and
# <name>Array_len for the clips <asset dir>/<name>.ogg, one for each of the six notes.
function(embed_clips target asset_dir)
  set(sources)
  foreach(name IN LISTS TUNER_CLIPS)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}/${name}_clip.cpp)
    add_custom_command(
      OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${asset_dir}/${name}.ogg -DOUTPUT=${out}
              -DSYMBOL=${name}Array -P ${EMBED_CLIP_SCRIPT}
      DEPENDS ${asset_dir}/${name}.ogg ${EMBED_CLIP_SCRIPT}
      COMMENT "Embedding clip ${name}.ogg"
      VERBATIM)
    list(APPEND sources ${out})
  endforeach()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${EMBED_CLIP_HEADERS})
endfunction()

# embed_broken_clips(<target> <asset dir>): embed_clips over a copy of the six clips in which
# the note of string 4 has its headers overwritten with zeros, so that it does not decode:
# for the tests of a loading that fails part-way.
function(embed_broken_clips target asset_dir)
  set(broken ${CMAKE_CURRENT_BINARY_DIR}/${target}_assets)
  foreach(name IN LISTS TUNER_CLIPS)
    set(corrupt)
    if(name STREQUAL s4d)
      set(corrupt COMMAND dd if=/dev/zero of=${broken}/${name}.ogg bs=1 seek=28 count=1000
                          conv=notrunc status=none)
    endif()
    add_custom_command(
      OUTPUT ${broken}/${name}.ogg
      COMMAND ${CMAKE_COMMAND} -E copy ${asset_dir}/${name}.ogg ${broken}/${name}.ogg
      ${corrupt}
      DEPENDS ${asset_dir}/${name}.ogg
      VERBATIM)
  endforeach()
  embed_clips(${target} ${broken})
endfunction()
