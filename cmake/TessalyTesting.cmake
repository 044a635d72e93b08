# How the project's tests become CTest entries. Every entry carries one label
# (unit, window, corpus, fuzz, install) and a timeout, so that `ctest -L unit`
# runs the quick tests alone and a hung test ends the run instead of the job.
#
#   tessaly_gtest(<target> [LABEL <label>] [ENVIRONMENT <var=value>...])
#     The GoogleTest cases of target: those with "Corpus" in their names read
#     the shared photos beside the project and are labelled corpus, the others
#     LABEL (default unit). The discovery runs after each build of the target.
#
#   tessaly_test(NAME <name> COMMAND <command...> LABEL <label>
#                [TIMEOUT <seconds>] [ENVIRONMENT <var=value>...])
#     One entry of any other kind (Qt Test programs, fuzz runs, scripts).
#
# Default timeouts per label, in seconds; a test that needs longer says so.
set(TESSALY_TEST_TIMEOUT_unit 120)
set(TESSALY_TEST_TIMEOUT_corpus 300)
set(TESSALY_TEST_TIMEOUT_window 300)
set(TESSALY_TEST_TIMEOUT_fuzz 180)
set(TESSALY_TEST_TIMEOUT_install 300)

function(tessaly_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "LABEL" "ENVIRONMENT")
  if(NOT arg_LABEL)
    set(arg_LABEL unit)
  endif()
  foreach(kind ${arg_LABEL} corpus)
    set(properties LABELS ${kind} TIMEOUT ${TESSALY_TEST_TIMEOUT_${kind}})
    if(arg_ENVIRONMENT)
      list(APPEND properties ENVIRONMENT "${arg_ENVIRONMENT}")
    endif()
    if(kind STREQUAL "corpus")
      set(filter "*Corpus*")
    else()
      set(filter "-*Corpus*")
    endif()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 TEST_FILTER ${filter}
      PROPERTIES ${properties})
  endforeach()
endfunction()

function(tessaly_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;LABEL;TIMEOUT" "COMMAND;ENVIRONMENT")
  if(NOT arg_LABEL MATCHES "^(unit|window|corpus|fuzz|install)$")
    message(FATAL_ERROR "tessaly_test(${arg_NAME}): LABEL must be unit, window, corpus, fuzz or install")
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT ${TESSALY_TEST_TIMEOUT_${arg_LABEL}})
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
  set_tests_properties(${arg_NAME} PROPERTIES LABELS ${arg_LABEL} TIMEOUT ${arg_TIMEOUT})
  if(arg_ENVIRONMENT)
    set_tests_properties(${arg_NAME} PROPERTIES ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
endfunction()
