# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P embed_clip.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line keeps the generated file readable in a diff or a debugger.
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; edit the clip, not this file.
#include \"audio/tone_clips.h\"

extern const unsigned char ${SYMBOL}[${size}] = {
${bytes}
};
extern const unsigned int ${SYMBOL}_len = ${size};
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
