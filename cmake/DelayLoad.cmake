# zemlo_delay_load(<target> <lib> <DLL name>): <target> loads the DLL on first
# use instead of at start-up, through the hook in app/delay_load.cpp, which
# takes it from System32 only.
function(zemlo_delay_load target lib dll_name)
    if(MSVC)
        target_link_options(${target} PRIVATE /DELAYLOAD:${dll_name})
        target_link_libraries(${target} PRIVATE delayimp)
        return()
    endif()
    find_library(import_lib_${lib} NAMES lib${lib}.a REQUIRED)
    set(output ${CMAKE_BINARY_DIR}/delayload/lib${lib}_delay.a)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(stdcall ON)
    else()
        set(stdcall OFF)
    endif()
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
                -DIMPORT_LIB=${import_lib_${lib}} -DDLL_NAME=${dll_name}
                -DDEF=${CMAKE_BINARY_DIR}/delayload/${lib}.def -DOUTPUT=${output} -DSTDCALL=${stdcall}
                -P ${CMAKE_SOURCE_DIR}/cmake/MakeDelayImportLib.cmake
        DEPENDS ${CMAKE_SOURCE_DIR}/cmake/MakeDelayImportLib.cmake
        COMMENT "Delay-load import library for ${dll_name}"
        VERBATIM)
    add_custom_target(${lib}_delay_lib DEPENDS ${output})
    add_dependencies(${target} ${lib}_delay_lib)
    # Before the libraries that zemlo_core pulls in, so these win.
    target_link_libraries(${target} PRIVATE ${output})
endfunction()
