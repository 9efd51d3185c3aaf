# For the installation checks (cmake -P): what a shared object exports.

# exported_symbols(<out> <nm> <file>): the names of the dynamic symbols that <file> defines,
# sorted, in <out>, and nm's own words in <out>_NM for messages. Fails when nm does.
function(exported_symbols out nm file)
  execute_process(COMMAND "${nm}" -D --defined-only "${file}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE symbols ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed: ${errors}")
  endif()
  string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
  set(exported)
  foreach(name IN LISTS names)
    string(STRIP "${name}" name)
    # What the linker defines in every shared object is not the object's own.
    if(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
      list(APPEND exported "${name}")
    endif()
  endforeach()
  list(SORT exported)
  set(${out} "${exported}" PARENT_SCOPE)
  set(${out}_NM "${symbols}" PARENT_SCOPE)
endfunction()
