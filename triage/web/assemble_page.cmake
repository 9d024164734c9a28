# Makes the one-file page: the template with the page's script, the worker's
# script and the WebAssembly module (JavaScript with the wasm inside) put in
# place, and the release version in its footer.
# cmake -DTEMPLATE= -DPAGE_SCRIPT= -DWORKER= -DMODULE= -DVERSION= -DOUT= -P this
cmake_minimum_required(VERSION 3.25)
foreach(part TEMPLATE PAGE_SCRIPT WORKER MODULE VERSION OUT)
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
# Before the scripts go in, so no script's text is taken for the mark.
string(REPLACE "@READER_VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@PAGE_SCRIPT@" "${PAGE_SCRIPT_TEXT}" page "${page}")
string(REPLACE "@READER_WORKER@" "${WORKER_TEXT}" page "${page}")
string(REPLACE "@READER_MODULE@" "${MODULE_TEXT}" page "${page}")
file(WRITE ${OUT} "${page}")
