# Makes the one-file page: the template with the page's script, the worker's
# script and the WebAssembly module (JavaScript with the wasm inside) put in
# place, the module's wasm gzipped, as base64, and the release version in its
# footer.
# cmake -DTEMPLATE= -DPAGE_SCRIPT= -DWORKER= -DMODULE= -DWASM= -DPYTHON= -DVERSION= -DOUT= -P this
cmake_minimum_required(VERSION 3.25)
foreach(part TEMPLATE PAGE_SCRIPT WORKER MODULE WASM PYTHON VERSION OUT)
    if(NOT DEFINED ${part})
        message(FATAL_ERROR "assemble_page.cmake needs -D${part}=")
    endif()
endforeach()
# Base64 of a hexadecimal digest, as a policy's 'sha256-...' source wants it.
function(base64_of_hex hex out)
    set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
    string(LENGTH "${hex}" length)
    set(result "")
    set(at 0)
    while(at LESS length)
        # Three bytes (six digits) make four characters; a short last group is padded with "=".
        math(EXPR left "${length} - ${at}")
        if(left GREATER 6)
            set(left 6)
        endif()
        string(SUBSTRING "${hex}" ${at} ${left} group)
        math(EXPR missing "6 - ${left}")
        string(REPEAT "0" ${missing} zeros)
        math(EXPR value "0x${group}${zeros}")
        math(EXPR characters "${left} / 2 + 1")
        foreach(i RANGE 0 3)
            if(i LESS characters)
                math(EXPR index "(${value} >> (18 - 6 * ${i})) & 63")
                string(SUBSTRING "${alphabet}" ${index} 1 character)
                string(APPEND result "${character}")
            else()
                string(APPEND result "=")
            endif()
        endforeach()
        math(EXPR at "${at} + 6")
    endwhile()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

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
# The page's policy runs only the script it was built with: the hash of the
# text that goes into its script element, in place of 'unsafe-inline'.
string(SHA256 script_hash "${PAGE_SCRIPT_TEXT}")
base64_of_hex(${script_hash} script_hash)
string(REPLACE "@PAGE_SCRIPT_HASH@" "'sha256-${script_hash}'" page "${page}")
string(REPLACE "@PAGE_SCRIPT@" "${PAGE_SCRIPT_TEXT}" page "${page}")
string(REPLACE "@READER_WORKER@" "${WORKER_TEXT}" page "${page}")
string(REPLACE "@READER_MODULE@" "${MODULE_TEXT}" page "${page}")
# The same bytes each build (no time in the gzip header).
execute_process(COMMAND ${PYTHON} -c
    "import base64, gzip, sys; print(base64.b64encode(gzip.compress(open(sys.argv[1], 'rb').read(), 9, mtime=0)).decode())"
    ${WASM} OUTPUT_VARIABLE wasm_text OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "@READER_WASM@" "${wasm_text}" page "${page}")
file(WRITE ${OUT} "${page}")
