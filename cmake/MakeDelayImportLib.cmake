# Builds a delay-load import library for one system DLL from the toolchain's
# ordinary import library: every symbol it imports, loaded on first use.
#   cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIB=libcrypt32.a -DDLL_NAME=CRYPT32.dll
#         -DDEF=out.def -DOUTPUT=libcrypt32_delay.a -DSTDCALL=ON|OFF -P MakeDelayImportLib.cmake
execute_process(COMMAND ${NM} ${IMPORT_LIB} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]* I __imp_[^\n]*" imports "${symbols}")
set(def "LIBRARY ${DLL_NAME}\nEXPORTS\n")
foreach(line IN LISTS imports)
    string(REGEX REPLACE ".* I __imp_" "" name "${line}")
    if(STDCALL)
        # 32-bit names carry the C leading underscore; the DLL's do not.
        string(REGEX REPLACE "^_" "" name "${name}")
    endif()
    string(APPEND def "    ${name}\n")
endforeach()
file(WRITE ${DEF} "${def}")
set(kill_at "")
if(STDCALL)
    set(kill_at --kill-at)
endif()
execute_process(COMMAND ${DLLTOOL} --input-def ${DEF} --dllname ${DLL_NAME} ${kill_at}
                        --output-delaylib ${OUTPUT}
                COMMAND_ERROR_IS_FATAL ANY)
