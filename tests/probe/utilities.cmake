# Test programs of the string, path and file utilities. encipheredprobe
# prints a constant it holds only enciphered, for the test that searches its
# bytes; verprobe.dll carries a version resource, noverprobe.dll none.
add_executable(encipheredprobe ${CMAKE_CURRENT_LIST_DIR}/encipheredprobe.cpp)
target_link_libraries(encipheredprobe PRIVATE payload)

add_library(verprobe SHARED ${CMAKE_CURRENT_LIST_DIR}/probedll.cpp ${CMAKE_CURRENT_LIST_DIR}/verprobe.rc)
add_library(noverprobe SHARED ${CMAKE_CURRENT_LIST_DIR}/probedll.cpp)
set_target_properties(verprobe noverprobe PROPERTIES PREFIX "")

# unit_tests.exe finds them in its own folder.
add_dependencies(unit_tests encipheredprobe verprobe noverprobe)
