# The payload reader's fuzzer, built by the fuzz preset into dist/fuzz: a quick
# replay of the seeds and saved regression inputs, then a bounded fuzzing run.
set(fuzz_payload_args
  -DFUZZER=${SAVER_DIST_ROOT}/fuzz/fuzz_payload
  -DSEEDER=${SAVER_DIST_ROOT}/fuzz/make_payload_seeds
  -DDICT=${PROJECT_SOURCE_DIR}/fuzz/payload.dict
  -DREGRESSIONS=${PROJECT_SOURCE_DIR}/fuzz/regressions)
set(fuzz_payload_script ${PROJECT_SOURCE_DIR}/fuzz/RunFuzzPayload.cmake)

add_test(NAME fuzz_payload_replay
  COMMAND ${CMAKE_COMMAND} ${fuzz_payload_args} -DMODE=replay
          -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/fuzz_payload_replay -P ${fuzz_payload_script})
set_tests_properties(fuzz_payload_replay PROPERTIES TIMEOUT 60 LABELS fuzz)

add_test(NAME fuzz_payload
  COMMAND ${CMAKE_COMMAND} ${fuzz_payload_args} -DMODE=fuzz -DSECONDS=55
          -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/fuzz_payload -P ${fuzz_payload_script})
set_tests_properties(fuzz_payload PROPERTIES TIMEOUT 120 LABELS fuzz DEPENDS fuzz_payload_replay)
