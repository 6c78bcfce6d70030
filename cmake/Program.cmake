# The program's own sources, listed once for every build of it: the desktop's, the handheld's
# and Debian's (src/CMakeLists.txt) and the browser's (web/CMakeLists.txt). Its main is apart,
# as the tests and benchmarks link all the rest without it.
set(TUNER_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../src)
set(TUNER_SOURCES
  app/tuner_state.cpp app/frame.cpp app/keys.cpp
  audio/tones.cpp
  gfx/background.cpp gfx/strings.cpp gfx/overlay.cpp gfx/credits.cpp)
list(TRANSFORM TUNER_SOURCES PREPEND ${TUNER_SOURCE_DIR}/)
set(TUNER_MAIN ${TUNER_SOURCE_DIR}/app/main.cpp)
