# claimmutex: the second process of the single-instance tests, which claims a
# named mutex and holds it until the test lets it go.
add_executable(claimmutex claimmutex.cpp)
target_link_libraries(claimmutex PRIVATE hostwin)
add_dependencies(unit_tests claimmutex)
