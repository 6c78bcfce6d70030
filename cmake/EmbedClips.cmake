# Turns each Ogg clip in assets/ into a C++ source defining a const byte array and its
# length, so the program carries its notes inside and never touches the file system.
set(EMBED_CLIP_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_clip.cmake)
# The generated sources include the program's header of the clips.
set(EMBED_CLIP_HEADERS ${CMAKE_CURRENT_LIST_DIR}/../src)

# embed_clips(<target> <asset dir> <name>...): a static library holding the arrays
# <name>Array and <name>Array_len for the clips <asset dir>/<name>.ogg.
function(embed_clips target asset_dir)
  set(sources)
  foreach(name IN LISTS ARGN)
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
