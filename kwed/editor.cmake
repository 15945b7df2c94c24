# The editor core, the kwed program, the default run-control file and the
# tests of the editor. Included by CMakeLists.txt beside the support library.

add_library(kwed_core STATIC
    characters.cpp
    command_table.cpp
    comment_lines.cpp
    complete_name.cpp
    core_messages.cpp
    display.cpp
    editing.cpp
    end_signals.cpp
    escape_keys.cpp
    file_attributes.cpp
    find_text.cpp
    gap_buffer.cpp
    getkey.cpp
    help_panel.cpp
    insert_file.cpp
    key_map_loader.cpp
    layout.cpp
    line_ends.cpp
    line_input.cpp
    load.cpp
    movement.cpp
    prompt.cpp
    prompt_answer.cpp
    regex_search.cpp
    rescue.cpp
    save.cpp
    search.cpp
    startup_calls.cpp
    text_reports.cpp
    undo.cpp
    write_file.cpp)
target_link_libraries(kwed_core PUBLIC kwed_support)

add_executable(kwed main.cpp)
target_link_libraries(kwed PRIVATE kwed_core)

# The default key map and the earlier one go where the demo and the tests
# point ETCDIR; scripts/install puts them into the system's etc folder.
set(KWED_RC_COPIES)
foreach(rc kwed.rc kwed-classic.rc)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/etc/${rc}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/etc
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${rc} ${CMAKE_BINARY_DIR}/etc/${rc}
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${rc})
    list(APPEND KWED_RC_COPIES ${CMAKE_BINARY_DIR}/etc/${rc})
endforeach()
add_custom_target(kwed_rc ALL DEPENDS ${KWED_RC_COPIES})
add_dependencies(kwed kwed_rc)

# End to end in a real terminal: the editor runs inside tmux.
suite_add_gtest(NAME kwed_editor_test
    SOURCES tests/editor_tmux_test.cpp tests/editor_region_test.cpp tests/editor_files_test.cpp
            tests/editor_search_test.cpp tests/editor_screen_test.cpp tests/editor_boundary_test.cpp
            tests/editor_habits_test.cpp tests/editor_keymap_test.cpp
            tests/tmux_session.cpp
    LIBS kwed_core
    PROGRAMS kwed)
target_include_directories(kwed_editor_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
add_dependencies(kwed_editor_test kwed_rc)

# The command line and the endings before the key loop, without a terminal.
suite_add_gtest(NAME kwed_startup_test
    SOURCES tests/startup_test.cpp
    LIBS kwed_support
    PROGRAMS kwed)

# The buffer, undo, saving and the key map loader, called directly.
suite_add_gtest(NAME kwed_core_test
    SOURCES tests/gap_buffer_test.cpp tests/undo_save_test.cpp tests/key_map_test.cpp
            tests/files_paste_test.cpp tests/layout_test.cpp
    LIBS kwed_core)

# Arbitrary run-control files through the key map loader.
suite_add_fuzzer(NAME kwed_key_map_fuzz
    SOURCES tests/fuzz/key_map_fuzz.cpp key_map_loader.cpp
    LIBS kwed_core
    CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/key_map_corpus
    RUNS 5000)

# Arbitrary terminal input after an Escape through the escape sequence reader.
suite_add_fuzzer(NAME kwed_escape_keys_fuzz
    SOURCES tests/fuzz/escape_keys_fuzz.cpp escape_keys.cpp
    LIBS kwed_core
    CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/escape_keys_corpus)

# Arbitrary file contents through reading the line ends and writing them back.
suite_add_fuzzer(NAME kwed_line_ends_fuzz
    SOURCES tests/fuzz/line_ends_fuzz.cpp
    LIBS kwed_core
    CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/line_ends_corpus)
