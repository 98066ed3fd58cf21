# SPDX-License-Identifier: MIT
# Compresses INPUT into OUTPUT the way Debian packages want it: maximum
# compression and no name or timestamp in the header (gzip -9n), so the same
# input always gives the same bytes.
#   cmake -DGZIP=/bin/gzip -DINPUT=file -DOUTPUT=file.gz -P gzip_file.cmake
cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND "${GZIP}" -9 -n -c "${INPUT}"
                OUTPUT_FILE "${OUTPUT}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "gzip failed on ${INPUT}: ${status}")
endif()
