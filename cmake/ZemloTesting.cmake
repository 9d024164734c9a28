# GoogleTest from source, built for the target, and the two test programs that
# every directory adds its tests to:
#   zemlo_unit_tests  the reporting cores and API-level cases, one Wine run;
#   zemlo_e2e_tests   the real zemlodiag.exe in a fresh prefix, one Wine run per case.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZEMLO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT MSVC)
    target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/tests/harness/gtest_notification.h)
endif()
foreach(gtest_target gtest gtest_main)
    if(NOT MSVC)
        target_compile_options(${gtest_target} PRIVATE -w)
    endif()
endforeach()

include(GoogleTest)

add_library(zemlo_test_harness STATIC)
target_link_libraries(zemlo_test_harness PUBLIC zemlo_core gtest)

add_executable(zemlo_unit_tests)
target_link_libraries(zemlo_unit_tests PRIVATE zemlo_process_entry zemlo_test_harness gtest_main)

add_executable(zemlo_e2e_tests)
target_link_libraries(zemlo_e2e_tests PRIVATE zemlo_process_entry zemlo_test_harness gtest_main)

# The tests run under Wine only and seed state with calls of Vista and later,
# which the product itself must never import.
if(NOT MSVC)
    foreach(test_target zemlo_test_harness zemlo_unit_tests zemlo_e2e_tests)
        target_compile_options(${test_target} PRIVATE -U_WIN32_WINNT -UWINVER -D_WIN32_WINNT=0x0600 -DWINVER=0x0600)
    endforeach()
endif()
