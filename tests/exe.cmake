# cmake -DEXE=FILE -DLIMIT=BYTES -P exe.cmake: the exe takes at most LIMIT bytes and imports only
# Windows' own DLLs (a C runtime's, such as msvcrt.dll, would mean its start-up code is back).
file(SIZE ${EXE} size)
execute_process(COMMAND x86_64-w64-mingw32-objdump -p ${EXE} OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(TOUPPER "${dlls}" dlls)
list(FILTER dlls EXCLUDE REGEX ": (KERNEL32|USER32|SHELL32|COMCTL32|ADVAPI32|SETUPAPI|CFGMGR32)\\.DLL$")
message("${EXE}: ${size} bytes, at most ${LIMIT}")
if(size GREATER LIMIT OR dlls)
    message(FATAL_ERROR "over the limit, or not only Windows' own DLLs: ${dlls}")
endif()
