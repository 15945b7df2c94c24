# Helpers shared by every tool's build file.

option(SUITE_SANITIZE "This build runs under the address and undefined-behaviour sanitizers" OFF)

# suite_add_gtest(NAME n SOURCES ... [LIBS ...] [PROGRAMS target ...])
# A GoogleTest executable registered with CTest. Each program named under
# PROGRAMS is built first and its path is handed to the test as the macro
# <TARGET>_PATH (upper case, '-' as '_'), for end-to-end runs.
function(suite_add_gtest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;PROGRAMS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE suite_testing GTest::gtest GTest::gtest_main ${T_LIBS})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    foreach(prog IN LISTS T_PROGRAMS)
        string(TOUPPER "${prog}" macro)
        string(REPLACE "-" "_" macro "${macro}")
        target_compile_definitions(${T_NAME} PRIVATE "${macro}_PATH=\"$<TARGET_FILE:${prog}>\"")
        add_dependencies(${T_NAME} ${prog})
    endforeach()
    target_compile_definitions(${T_NAME} PRIVATE
        "SOURCE_DIR=\"${CMAKE_CURRENT_SOURCE_DIR}\"")
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        PROPERTIES LABELS "${T_NAME}")
endfunction()

# suite_add_fuzzer(NAME n SOURCES ... [LIBS ...] [CORPUS dir] [RUNS n])
# A libFuzzer target, built only by clang (the asan preset). CTest runs it
# over its seeds (CORPUS) and the corpus that `make fuzz` keeps in the tool's
# tests/fuzz/<name>/ folder, then for a bounded number of fresh inputs, so
# every sanitizer run also exercises the parser with random input.
function(suite_add_fuzzer)
    cmake_parse_arguments(F "" "NAME;CORPUS;RUNS" "SOURCES;LIBS" ${ARGN})
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        return()
    endif()
    if(NOT F_RUNS)
        set(F_RUNS 20000)
    endif()
    add_executable(${F_NAME} ${F_SOURCES})
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)

    # The kept corpus lives under the tool's own folder, whatever subfolder
    # declares the target.
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    string(REGEX REPLACE "/.*" "" tool "${rel}")
    set(kept ${CMAKE_SOURCE_DIR}/${tool}/tests/fuzz/${F_NAME})
    set(read_dirs)
    foreach(dir IN ITEMS ${kept} ${F_CORPUS})
        if(EXISTS ${dir})
            list(APPEND read_dirs ${dir})
        endif()
    endforeach()
    # `make fuzz` reads where to keep and where to seed from this file.
    string(REPLACE ";" " " seed_list "${F_CORPUS}")
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${F_NAME}.dirs "${kept}\n${seed_list}\n")

    # Seeds are read, never written: new inputs go to a scratch folder.
    set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}-corpus)
    file(MAKE_DIRECTORY ${scratch})
    add_test(NAME ${F_NAME}
        COMMAND ${F_NAME} -runs=${F_RUNS} -max_len=4096 -seed=1 ${scratch} ${read_dirs})
    set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz)
endfunction()
