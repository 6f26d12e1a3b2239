# Runs fuzz_payload for a CTest test (cmake -P). Every run starts from a fresh
# scratch folder: the seeds are written anew by make_payload_seeds, and the
# saved regression inputs in fuzz/regressions are added to them.
#   MODE=replay  runs each seed and regression input once
#   MODE=fuzz    fuzzes for SECONDS from a scratch copy of that corpus
# Required: FUZZER, SEEDER, DICT, REGRESSIONS, WORK_DIR; SECONDS for MODE=fuzz.
# A crash, leak, timeout or out-of-memory makes libFuzzer exit nonzero, which
# fails the test; while fuzzing, the input that caused it is kept in
# WORK_DIR/artifacts (copy it into fuzz/regressions to replay it from then on).
cmake_minimum_required(VERSION 3.25)

foreach(required FUZZER SEEDER DICT REGRESSIONS WORK_DIR MODE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()
foreach(program FUZZER SEEDER)
  if(NOT EXISTS "${${program}}")
    message(FATAL_ERROR "${${program}} is missing: build it with `cmake --build --preset fuzz`")
  endif()
endforeach()

# Limits of every run: a slow input, a huge allocation or a big RSS is a finding.
set(limits -rss_limit_mb=2048 -timeout=10 -max_len=32768)

set(corpus ${WORK_DIR}/corpus)
set(artifacts ${WORK_DIR}/artifacts)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${artifacts})

execute_process(COMMAND ${SEEDER} ${corpus} RESULT_VARIABLE seeded)
if(NOT seeded EQUAL 0)
  message(FATAL_ERROR "make_payload_seeds failed (${seeded})")
endif()
file(GLOB regressions ${REGRESSIONS}/*)
if(regressions)
  file(COPY ${regressions} DESTINATION ${corpus})
endif()
file(GLOB inputs ${corpus}/*)
list(LENGTH inputs input_count)

if(MODE STREQUAL "replay")
  # Given files instead of a folder, libFuzzer runs each exactly once.
  set(arguments ${limits} -artifact_prefix=${artifacts}/ ${inputs})
elseif(MODE STREQUAL "fuzz")
  if(NOT DEFINED SECONDS)
    message(FATAL_ERROR "SECONDS is not set")
  endif()
  set(arguments ${limits} -max_total_time=${SECONDS} -dict=${DICT} -print_final_stats=1
      -artifact_prefix=${artifacts}/ ${corpus})
else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()

message(STATUS "fuzz_payload ${MODE}: ${input_count} inputs in ${corpus}")
execute_process(COMMAND ${FUZZER} ${arguments} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB found ${artifacts}/*)
  if(NOT found)
    # Replaying named files, libFuzzer keeps no copy: the culprit is the last "Running:" input.
    set(found "the last input named \"Running:\" above")
  endif()
  message(FATAL_ERROR "fuzz_payload ${MODE} failed (exit ${result}); failing input: ${found}")
endif()
