# cmake -DEXE=FILE -DLIMIT=BYTES -P exe.cmake: the exe takes at most LIMIT bytes.
file(SIZE ${EXE} size)
message("${EXE}: ${size} bytes, at most ${LIMIT}")
if(size GREATER LIMIT)
    message(FATAL_ERROR "over the limit")
endif()
