# Compresses IN into OUT with no name or time stamp in the header, so the
# same source always gives the same bytes:  cmake -DIN=... -DOUT=... -P gzip.cmake
execute_process(COMMAND gzip -9nc "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${IN}: ${rc}")
endif()
