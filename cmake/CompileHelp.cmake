# SPDX-License-Identifier: GPL-3.0-or-later
# Compiles the help pages into one CHM file; run as a script:
#   cmake -DCHMCMD=... -DPROJECT_FILE=.../Varrow.hhp -DSEARCH_DIRS="dir;dir"
#         -DSTAGE_DIR=... -DOUTPUT=.../Varrow.chm -P CompileHelp.cmake
# Every file the project names ([FILES], contents, index) is taken from the
# first search folder that holds it and staged beside the project, so that
# the pages name their pictures without folders. chmcmd reports some failures
# only in its output, so that is checked as well as its exit status. The
# help file appears whole under its final name or not at all.

foreach(required CHMCMD PROJECT_FILE SEARCH_DIRS STAGE_DIR OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CompileHelp: ${required} is not set")
  endif()
endforeach()

file(STRINGS "${PROJECT_FILE}" project_lines)
set(section "")
set(named_files "")
set(compiled_name "")
foreach(line IN LISTS project_lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^\\[(.*)\\]$")
    string(TOUPPER "${CMAKE_MATCH_1}" section)
  elseif(line STREQUAL "" OR line MATCHES "^;")
    continue()
  elseif(section STREQUAL "FILES")
    list(APPEND named_files "${line}")
  elseif(section STREQUAL "OPTIONS" AND line MATCHES "^(Contents file|Index file)=(.+)$")
    list(APPEND named_files "${CMAKE_MATCH_2}")
  elseif(section STREQUAL "OPTIONS" AND line MATCHES "^Compiled file=(.+)$")
    set(compiled_name "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(compiled_name STREQUAL "")
  message(FATAL_ERROR "CompileHelp: ${PROJECT_FILE} names no compiled file")
endif()

file(REMOVE_RECURSE "${STAGE_DIR}")
file(MAKE_DIRECTORY "${STAGE_DIR}")
get_filename_component(project_name "${PROJECT_FILE}" NAME)
file(COPY_FILE "${PROJECT_FILE}" "${STAGE_DIR}/${project_name}")
foreach(name IN LISTS named_files)
  set(found "")
  foreach(dir IN LISTS SEARCH_DIRS)
    if(EXISTS "${dir}/${name}")
      set(found "${dir}/${name}")
      break()
    endif()
  endforeach()
  if(found STREQUAL "")
    message(FATAL_ERROR "CompileHelp: ${name}, named by ${project_name}, is in none of ${SEARCH_DIRS}")
  endif()
  file(COPY_FILE "${found}" "${STAGE_DIR}/${name}")
endforeach()

execute_process(
  COMMAND "${CHMCMD}" "${project_name}"
  WORKING_DIRECTORY "${STAGE_DIR}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output
  TIMEOUT 300)
if(NOT status EQUAL 0 OR output MATCHES "(Error|exception|does not exist|Can't find|couldn't find)")
  message(FATAL_ERROR "CompileHelp: chmcmd failed (${status}):\n${output}")
endif()
if(NOT EXISTS "${STAGE_DIR}/${compiled_name}")
  message(FATAL_ERROR "CompileHelp: chmcmd wrote no ${compiled_name}:\n${output}")
endif()

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_dir}")
file(COPY_FILE "${STAGE_DIR}/${compiled_name}" "${OUTPUT}.part")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
