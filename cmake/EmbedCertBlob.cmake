# Writes a header that holds DER certificates as one CertBlob: for each input,
# its length as 4 bytes little-endian, then its bytes, with nothing between.
#   cmake -DNAME=<symbol> -DOUTPUT=<header> -DINPUTS=<a.der;b.der> -P EmbedCertBlob.cmake
if(NOT NAME OR NOT OUTPUT OR NOT INPUTS)
    message(FATAL_ERROR "NAME, OUTPUT and INPUTS are required")
endif()

# 16 bytes a line
function(append_byte_lines hex out_var)
    set(text "${${out_var}}")
    string(LENGTH "${hex}" hex_chars)
    set(at 0)
    while(at LESS hex_chars)
        string(SUBSTRING "${hex}" ${at} 32 line)
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," line "${line}")
        string(APPEND text "    ${line}\n")
        math(EXPR at "${at} + 32")
    endwhile()
    set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

set(body "")
set(sources "")
set(total 0)
foreach(input IN LISTS INPUTS)
    file(READ "${input}" hex HEX)
    string(LENGTH "${hex}" hex_chars)
    math(EXPR length "${hex_chars} / 2")
    if(length LESS 1)
        message(FATAL_ERROR "${input} is empty")
    endif()
    set(prefix "")
    foreach(shift 0 8 16 24)
        math(EXPR byte "(${length} >> ${shift}) & 255")
        math(EXPR high "${byte} / 16")
        math(EXPR low "${byte} % 16")
        string(SUBSTRING "0123456789abcdef" ${high} 1 high_digit)
        string(SUBSTRING "0123456789abcdef" ${low} 1 low_digit)
        string(APPEND prefix "${high_digit}${low_digit}")
    endforeach()
    get_filename_component(source_name "${input}" NAME)
    string(APPEND body "    // ${source_name}: ${length} bytes\n")
    append_byte_lines("${prefix}" body)
    append_byte_lines("${hex}" body)
    math(EXPR total "${total} + 4 + ${length}")
    string(APPEND sources " ${source_name}")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from${sources}; do not edit.
#pragma once

#include <cstdint>

inline constexpr unsigned char ${NAME}[] = {
${body}};
inline constexpr std::uint32_t ${NAME}Length = ${total};
static_assert(sizeof(${NAME}) == ${NAME}Length, \"record lengths and total must agree\");
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
