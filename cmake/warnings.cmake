# Warnings are on for every target of the project and must stay clean under GCC and Clang.
add_library(velmora_warnings INTERFACE)
target_compile_options(velmora_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
  -Wold-style-cast -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough
  -Wcast-qual -Wmissing-declarations)
# Off by default, so that a newer compiler's new warnings do not stop a build; CI turns it on.
option(VELMORA_WERROR "Treat warnings as errors" OFF)
if(VELMORA_WERROR)
  target_compile_options(velmora_warnings INTERFACE -Werror)
endif()
