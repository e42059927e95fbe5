# SPDX-License-Identifier: GPL-3.0-or-later
# The help compiler's script must fail, and leave no help file, when a page
# links to a file that is not there (chmcmd itself only warns).
set(output "${WORK_DIR}/out/Broken.chm")
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -DCHMCMD=${CHMCMD} -DPROJECT_FILE=${BROKEN_DIR}/Broken.hhp
          -DSEARCH_DIRS=${BROKEN_DIR} -DSTAGE_DIR=${WORK_DIR}/stage -DOUTPUT=${output}
          -P ${SCRIPT}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE text
  ERROR_VARIABLE text)
if(status EQUAL 0)
  message(FATAL_ERROR "a page linking to a missing file was compiled:\n${text}")
endif()
if(NOT text MATCHES "gone.htm")
  message(FATAL_ERROR "the failure does not name the missing file:\n${text}")
endif()
if(EXISTS "${output}")
  message(FATAL_ERROR "a help file was left behind")
endif()
