# Compresses INPUT into OUTPUT as Debian wants its manual pages and documents:
# gzip -9n, so that no file name or time goes inside.
#   cmake -DGZIP=gzip -DINPUT=... -DOUTPUT=... -P gzip_file.cmake
execute_process(COMMAND ${GZIP} -9nc ${INPUT} OUTPUT_FILE ${OUTPUT}.part RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "gzip ${INPUT} failed")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
