# VELMORA_SANITIZE applies to everything built, so that instrumented code never calls into
# uninstrumented project code. The sanitizer passes are built with Clang, whose static runtime
# can come after umockdev's LD_PRELOAD library.
if(VELMORA_SANITIZE)
  string(REPLACE "," ";" _velmora_sanitizers "${VELMORA_SANITIZE}")
  set(_velmora_flags -fno-omit-frame-pointer -g)
  foreach(s IN LISTS _velmora_sanitizers)
    list(APPEND _velmora_flags -fsanitize=${s})
  endforeach()
  if("undefined" IN_LIST _velmora_sanitizers)
    # Without the vptr check: it reads an object's vtable through a pipe to learn whether the
    # memory is there, so in a process that has no descriptor left it reports every type it has
    # not checked before. Tests run code short of descriptors on purpose (run loops, the USB
    # notifier, the port server, the whole monitor under ulimit -n).
    list(APPEND _velmora_flags -fno-sanitize-recover=undefined -fno-sanitize=vptr)
  endif()
  add_compile_options(${_velmora_flags})
  add_link_options(${_velmora_flags})
endif()

# Fuzz builds instrument every library for coverage, so that libFuzzer sees the code under test
# and not only the fuzz target's own file.
if(BUILD_TESTING AND VELMORA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
