# Fails when a catalogue lags behind the window's sources: lupdate is run over the sources into a copy
# of the catalogue, and the copy must then hold no string without a translation (unfinished) and none
# that the sources no longer have (vanished or obsolete).
#
# cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<repository> -DCATALOGUE=<file.ts> -DWORK_DIR=<dir> -P check_catalogue.cmake

foreach(variable LUPDATE SOURCE_DIR CATALOGUE WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_catalogue: ${variable} is not set")
  endif()
endforeach()

get_filename_component(name ${CATALOGUE} NAME)
set(copy ${WORK_DIR}/${name})
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(COPY_FILE ${CATALOGUE} ${copy})

# The same options as the command that updates the catalogue (see README).
execute_process(
  COMMAND ${LUPDATE} -silent -I ${SOURCE_DIR}/src -locations none ${SOURCE_DIR}/src/ui ${SOURCE_DIR}/src/app ${SOURCE_DIR}/src/formats -ts ${copy}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "check_catalogue: lupdate failed (${result})")
endif()

file(STRINGS ${copy} lines)
set(problems "")
set(source "")
foreach(line IN LISTS lines)
  if(line MATCHES "<source>(.*)</source>")
    set(source "${CMAKE_MATCH_1}")
  elseif(line MATCHES "<translation type=\"(unfinished|vanished|obsolete)\"")
    string(APPEND problems "  ${CMAKE_MATCH_1}: ${source}\n")
  endif()
endforeach()
if(problems)
  message(FATAL_ERROR "${name} is not up to date with the sources; update it with lupdate and translate:\n${problems}")
endif()
message(STATUS "${name}: every string of the window is translated")
