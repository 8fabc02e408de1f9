# The warnings every target of ours is built with, as one interface target: velmora_warnings for
# all code, velmora_strict_warnings adds the conversion warnings, for the program's sources and
# the tests alike (the tests' byte-level builders turn them off for themselves).
# VELMORA_WERROR turns them into errors; CI builds that way.
option(VELMORA_WERROR "Treat compiler warnings as errors" OFF)

add_library(velmora_warnings INTERFACE)
target_compile_options(velmora_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-qual -Wformat=2)
if(VELMORA_WERROR)
  target_compile_options(velmora_warnings INTERFACE -Werror)
endif()
# Qt's stricter forms: no silent conversions from byte strings to URLs or back, no narrowing in
# connections, no Qt-only loop macros, nothing deprecated in the Qt we build against.
target_compile_definitions(velmora_warnings INTERFACE
  QT_NO_CAST_TO_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_NO_JAVA_STYLE_ITERATORS
  QT_DISABLE_DEPRECATED_BEFORE=0x060400)

add_library(velmora_strict_warnings INTERFACE)
target_link_libraries(velmora_strict_warnings INTERFACE velmora_warnings)
target_compile_options(velmora_strict_warnings INTERFACE -Wconversion)
