# Read by ctest before it runs (see VANTREL_TEST_PER_SUITE in CMakeLists.txt): lists the tests
# of PROGRAM and adds one ctest entry per suite, which runs that suite's tests in one process.
# A failure still names its test in the output ("[  FAILED  ] Suite.Test").
# Expects PROGRAM, LIST_FILE (the entries, kept until the program changes) and ENVIRONMENT.
if(NOT EXISTS "${PROGRAM}")
    return()
endif()
if(NOT EXISTS "${LIST_FILE}" OR NOT "${LIST_FILE}" IS_NEWER_THAN "${PROGRAM}"
        OR NOT "${LIST_FILE}" IS_NEWER_THAN "${CMAKE_CURRENT_LIST_FILE}")
    foreach(variable IN LISTS ENVIRONMENT)
        string(REGEX MATCH "^([^=]+)=(.*)$" variable "${variable}")
        set(ENV{${CMAKE_MATCH_1}} "${CMAKE_MATCH_2}")
    endforeach()
    execute_process(COMMAND "${PROGRAM}" --gtest_list_tests
        OUTPUT_VARIABLE listing RESULT_VARIABLE status TIMEOUT 120)
    if(NOT status EQUAL 0)
        # An entry that fails and shows why, in place of the suites.
        add_test("${PROGRAM}" "${PROGRAM}" --gtest_list_tests)
        return()
    endif()
    # Suites are the lines that do not start with a space: "Suite." or "Prefix/Suite.  # TypeParam = ...".
    string(REPLACE ";" "\\;" listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")
    set(entries "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^([^ #][^ ]*)\\.")
            set(suite "${CMAKE_MATCH_1}")
            string(APPEND entries "add_test([==[${suite}]==] [==[${PROGRAM}]==] [==[--gtest_filter=${suite}.*]==])\n"
                "set_tests_properties([==[${suite}]==] PROPERTIES ENVIRONMENT [==[${ENVIRONMENT}]==])\n")
        endif()
    endforeach()
    file(WRITE "${LIST_FILE}" "${entries}")
endif()
include("${LIST_FILE}")
