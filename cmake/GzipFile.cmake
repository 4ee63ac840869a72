# cmake -DIN=... -DOUT=... -P GzipFile.cmake
# gzip -9n: best compression, no file name or time stamp in the header.
execute_process(COMMAND gzip -9n -c ${IN} OUTPUT_FILE ${OUT} COMMAND_ERROR_IS_FATAL ANY)
