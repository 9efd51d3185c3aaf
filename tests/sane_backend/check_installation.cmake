# Installs the project into a scratch DESTDIR and checks the backend bundle as twain-source
# finds it: at the fixed path below /Library, exporting its principal class and nothing else,
# and built from what twain-source installs alone (its sources compile against the staged
# headers, with no other header of the project in reach).
#
#   cmake -DBUILD_DIR=... -DSTAGE=... -DSOURCE_DIR=... -DINCLUDE_DIR=... -DNM=... -DCXX=...
#         -DEXTRA_FLAGS=... -P check_installation.cmake
foreach(variable BUILD_DIR STAGE SOURCE_DIR INCLUDE_DIR NM CXX)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()
include("${CMAKE_CURRENT_LIST_DIR}/../support/exported_symbols.cmake")

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${STAGE}/root"
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed:\n${output}")
endif()

set(bundle "${STAGE}/root/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle")
foreach(file Contents/Info.plist Contents/MacOS/VelSaneBackend)
  if(NOT EXISTS "${bundle}/${file}" OR IS_DIRECTORY "${bundle}/${file}")
    message(FATAL_ERROR "no ${bundle}/${file}")
  endif()
endforeach()
file(READ "${bundle}/Contents/Info.plist" info)
if(NOT info MATCHES "<key>NSPrincipalClass</key>[ \t\r\n]*<string>VelSaneBackend</string>")
  message(FATAL_ERROR "Info.plist does not name VelSaneBackend:\n${info}")
endif()

exported_symbols(exported "${NM}" "${bundle}/Contents/MacOS/VelSaneBackend")
if(NOT exported STREQUAL "VelSaneBackend")
  message(FATAL_ERROR "the bundle exports ${exported}; nm says:\n${exported_NM}")
endif()

# The backend's sources on their own, beside nothing but the staged headers.
file(COPY "${SOURCE_DIR}" DESTINATION "${STAGE}/src" PATTERN "CMakeLists.txt" EXCLUDE)
file(GLOB_RECURSE sources "${STAGE}/src/sane_backend/*.cpp")
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
foreach(source IN LISTS sources)
  execute_process(COMMAND "${CXX}" -std=c++20 -fsyntax-only -Wall -Werror ${extra}
                          -I "${STAGE}/src" -I "${STAGE}/root${INCLUDE_DIR}/velmora" "${source}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${source} does not build from the installed interface:\n${output}")
  endif()
endforeach()
list(LENGTH sources count)
message(STATUS "the bundle exports ${exported}; ${count} sources build from the installed interface")
