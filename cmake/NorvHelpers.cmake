# Warnings for our own code only; third-party headers come in as system includes.
function(norv_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# norv_add_library(norv_storage SOURCES a.cpp b.cpp LIBS Qt6::Sql PUBLIC_LIBS ...)
function(norv_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_LIBS})
    norv_warnings(${name})
endfunction()

# norv_add_test(tst_NoteRepository SOURCES tst_NoteRepository.cpp LIBS norv_storage [GUI] [TIMEOUT 120])
# GUI tests run on the offscreen platform and carry the label "gui".
function(norv_add_test name)
    cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE
        NORV_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
        NORV_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared"
        NORV_BINARY_DIR="${CMAKE_BINARY_DIR}")
    norv_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    # NORV_TOKEN_STORE=memory: no test reaches the user's own keyring.
    set(env "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=*.debug=false;NORV_TOKEN_STORE=memory"
            "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1"
            "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/sanitizers/lsan.supp:print_suppressions=0"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=${CMAKE_SOURCE_DIR}/sanitizers/ubsan.supp")
    set(labels "unit")
    if(ARG_GUI)
        set(labels "gui")
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT})
endfunction()

# norv_add_bench(bench_storage SOURCES bench_storage.cpp LIBS norv_storage)
function(norv_add_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    norv_warnings(${name})
endfunction()

# norv_use_devserver(tst_SyncEngine): the test gets the loopback server's path as NORV_DEVSERVER_PATH and builds
# after it; without the server the definition is absent and tests/DevServer.h reports it as not running.
function(norv_use_devserver target)
    if(TARGET norvane-devserver)
        add_dependencies(${target} norvane-devserver)
        target_compile_definitions(${target} PRIVATE NORV_DEVSERVER_PATH="$<TARGET_FILE:norvane-devserver>")
    endif()
endfunction()
