# Installs the project into a scratch DESTDIR and checks what the Linux TWAIN Data Source Manager
# and the authors of a backend get: the data source as a regular "*.ds" file below
# /usr/local/lib/twain exporting exactly DS_Entry, getIdentity and gDataSource, and headers and
# a library from which a backend builds on its own.
#
#   cmake -DBUILD_DIR=... -DSTAGE=... -DDS_DIR=... -DINCLUDE_DIR=... -DLIB_DIR=... -DNM=...
#         -DCXX=... -DBACKEND_SOURCE=... -P check_installation.cmake
foreach(variable BUILD_DIR STAGE DS_DIR INCLUDE_DIR LIB_DIR NM CXX BACKEND_SOURCE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${STAGE}"
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed:\n${output}")
endif()

set(data_source "${STAGE}${DS_DIR}/velmora-q580n.ds")
if(NOT EXISTS "${data_source}" OR IS_SYMLINK "${data_source}" OR IS_DIRECTORY "${data_source}")
  message(FATAL_ERROR "no regular file ${data_source}")
endif()
if(NOT DS_DIR MATCHES "^/usr/local/lib/twain(/|$)")
  message(FATAL_ERROR "${DS_DIR} is not below /usr/local/lib/twain")
endif()

execute_process(COMMAND "${NM}" -D --defined-only "${data_source}"
                RESULT_VARIABLE result OUTPUT_VARIABLE symbols ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed: ${errors}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
set(exported)
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  # What the linker defines in every shared object is not the data source's.
  if(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
    list(APPEND exported "${name}")
  endif()
endforeach()
list(SORT exported)
if(NOT exported STREQUAL "DS_Entry;gDataSource;getIdentity")
  message(FATAL_ERROR "the data source exports ${exported}; nm says:\n${symbols}")
endif()

execute_process(COMMAND "${CXX}" -std=c++20 -Wall -Werror -fPIC -shared -fvisibility=hidden
                        -I "${STAGE}${INCLUDE_DIR}/velmora" "${BACKEND_SOURCE}"
                        -L "${STAGE}${LIB_DIR}" -lvelmora-plist
                        -o "${STAGE}/OutsideBackend"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "a backend does not build from the installed interface:\n${output}")
endif()
message(STATUS "installed data source ${data_source} exports ${exported}")
