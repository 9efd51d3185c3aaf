# Installs the project, or with COMPONENT that one component, into a scratch DESTDIR and checks
# what the Linux TWAIN Data Source Manager and the authors of a backend get:
# - the data source as a regular "*.ds" file below /usr/local/lib/twain exporting exactly
#   DS_Entry, getIdentity and gDataSource;
# - headers and a library from which a backend builds on its own;
# - in a private view where the staged installation stands at its real place and nothing else of
#   the project exists: `twain-host --probe` gets the identity through the installed data source
#   (which finds libvelmora-plist through its RUNPATH) from the installed sample backend copied
#   to the backend path, as the README says to try it; and BACKEND.md's own compile line builds
#   the sample backend's sources against the installed headers and library into a backend that
#   answers the same way.
#
#   cmake -DBUILD_DIR=... -DSTAGE=... [-DCOMPONENT=...] -DPREFIX=... -DDS_DIR=... -DBIN_DIR=...
#         -DINCLUDE_DIR=... -DLIB_DIR=... -DDOC_DIR=... -DSAMPLE_BUNDLE=... -DNM=... -DCXX=...
#         -DBACKEND_SOURCE=... -DSAMPLE_SOURCE_DIR=... -P check_installation.cmake
foreach(variable BUILD_DIR STAGE PREFIX DS_DIR BIN_DIR INCLUDE_DIR LIB_DIR DOC_DIR SAMPLE_BUNDLE NM
                 CXX BACKEND_SOURCE SAMPLE_SOURCE_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()
include("${CMAKE_CURRENT_LIST_DIR}/../../support/exported_symbols.cmake")

set(install "${CMAKE_COMMAND}" --install "${BUILD_DIR}")
if(COMPONENT)
  list(APPEND install --component "${COMPONENT}")
endif()
file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${STAGE}" ${install}
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

exported_symbols(exported "${NM}" "${data_source}")
if(NOT exported STREQUAL "DS_Entry;gDataSource;getIdentity")
  message(FATAL_ERROR "the data source exports ${exported}; nm says:\n${exported_NM}")
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

# The view binds the staged prefix over the real one; that cannot stand in for the system's own
# /usr, and a data source folder outside the prefix would have nowhere to go.
cmake_path(IS_PREFIX PREFIX "${DS_DIR}" NORMALIZE data_source_in_prefix)
if(PREFIX MATCHES "^/(usr/?)?$" OR NOT data_source_in_prefix)
  message(STATUS "SKIPPED: no private view of an installation at ${PREFIX}")
  return()
endif()
execute_process(COMMAND bwrap --ro-bind / / true RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 0)
  message(STATUS "SKIPPED: bubblewrap cannot make a private view here")
  return()
endif()

# The machine's /usr and /etc, the staged prefix in place of the real one, a writable /Library
# and a scratch folder; not the build tree, so only what was installed can be loaded.
set(scratch "${STAGE}-run")
set(backend "${scratch}/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${backend}")
set(view bwrap --die-with-parent --tmpfs / --ro-bind /usr /usr --symlink usr/lib /lib
         --symlink usr/lib64 /lib64 --symlink usr/bin /bin --ro-bind /etc /etc --proc /proc
         --dev /dev --tmpfs /tmp --ro-bind "${STAGE}${PREFIX}" "${PREFIX}"
         --bind "${scratch}" "${scratch}" --bind "${scratch}/Library" /Library
         --unsetenv LD_LIBRARY_PATH --unsetenv LD_PRELOAD --chdir "${scratch}" --)

function(expect_probe_answers what)
  execute_process(COMMAND ${view} "${BIN_DIR}/twain-host" --probe
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT output MATCHES "\n +ProductName +\"Velmora Q580n\"\n")
    message(FATAL_ERROR "${what}: twain-host --probe exited with ${result}:\n${output}")
  endif()
endfunction()

file(COPY "${STAGE}${SAMPLE_BUNDLE}/" DESTINATION "${backend}")
expect_probe_answers("with the installed sample backend")

# BACKEND.md's compile line as it stands, given the sample backend's sources (whose own headers
# sit beside them) and the backend path for its output.
file(READ "${STAGE}${DOC_DIR}/BACKEND.md" document)
# An indented command line, its continued lines joined by backslash and newline.
string(REGEX MATCH "\n    g\\+\\+ ([^\n\\\\]|\\\\[^\n])*(\\\\\n([^\n\\\\]|\\\\[^\n])*)*"
       compile_line "${document}")
if(NOT compile_line MATCHES "my_backend\\.cpp" OR NOT compile_line MATCHES "-o VelMyBackend")
  message(FATAL_ERROR "BACKEND.md has no compile line for my_backend.cpp and VelMyBackend")
endif()
set(sources "${scratch}/source")
file(COPY "${SAMPLE_SOURCE_DIR}/" DESTINATION "${sources}/tools/twain_sample_backend"
     FILES_MATCHING PATTERN "*.cpp" PATTERN "*.hpp")
set(sample "'${sources}/tools/twain_sample_backend'")
string(REGEX REPLACE "\\\\\n" " " compile_line "${compile_line}")
string(REPLACE "/usr/local/include" "${INCLUDE_DIR}" compile_line "${compile_line}")
string(REPLACE "/usr/local/lib" "${LIB_DIR}" compile_line "${compile_line}")
string(REPLACE "my_backend.cpp"
       "-I '${sources}' ${sample}/sample_backend.cpp ${sample}/backend_record.cpp"
       compile_line "${compile_line}")
string(REPLACE "-o VelMyBackend" "-o '${backend}/Contents/MacOS/VelSampleBackend'"
       compile_line "${compile_line}")
file(REMOVE "${backend}/Contents/MacOS/VelSampleBackend")
execute_process(COMMAND ${view} sh -c "${compile_line}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "BACKEND.md's compile line fails in the installed system:\n"
                      "${compile_line}\n${output}")
endif()
expect_probe_answers("with the sample backend built by BACKEND.md's compile line")
message(STATUS "the installed data source loads the sample backend, installed and built anew")
