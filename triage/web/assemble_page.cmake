# Makes the one-file page: the template with the page's script, the worker's
# script and the WebAssembly module (JavaScript with the wasm inside) put in
# place, and the module's wasm gzipped, as base64.
# cmake -DTEMPLATE= -DPAGE_SCRIPT= -DWORKER= -DMODULE= -DWASM= -DPYTHON= -DOUT= -P this
cmake_minimum_required(VERSION 3.25)
foreach(part TEMPLATE PAGE_SCRIPT WORKER MODULE WASM PYTHON OUT)
    if(NOT DEFINED ${part})
        message(FATAL_ERROR "assemble_page.cmake needs -D${part}=")
    endif()
endforeach()
file(READ ${TEMPLATE} page)
foreach(part PAGE_SCRIPT WORKER MODULE)
    file(READ ${${part}} text)
    # Inside a script element these would end it or change how it is parsed.
    string(TOLOWER "${text}" lower)
    foreach(breaker "</script" "<!--" "<script")
        string(FIND "${lower}" "${breaker}" at)
        if(NOT at EQUAL -1)
            message(FATAL_ERROR "${${part}} holds \"${breaker}\", which cannot go inside a script element")
        endif()
    endforeach()
    set(${part}_TEXT "${text}")
endforeach()
string(REPLACE "@PAGE_SCRIPT@" "${PAGE_SCRIPT_TEXT}" page "${page}")
string(REPLACE "@READER_WORKER@" "${WORKER_TEXT}" page "${page}")
string(REPLACE "@READER_MODULE@" "${MODULE_TEXT}" page "${page}")
# The same bytes each build (no time in the gzip header).
execute_process(COMMAND ${PYTHON} -c
    "import base64, gzip, sys; print(base64.b64encode(gzip.compress(open(sys.argv[1], 'rb').read(), 9, mtime=0)).decode())"
    ${WASM} OUTPUT_VARIABLE wasm_text OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "@READER_WASM@" "${wasm_text}" page "${page}")
file(WRITE ${OUT} "${page}")
