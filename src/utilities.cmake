# String, path and file utilities. The text functions and the constant
# encoder are portable and join the payload library; the Win32 helpers
# (temporary folder, removal, shell path, registry, version resource) form
# payloadwin, which the saver links.
target_sources(payload PRIVATE ${CMAKE_CURRENT_LIST_DIR}/payload/TextUtils.cpp)

if(WIN32)
  add_library(payloadwin STATIC
    ${CMAKE_CURRENT_LIST_DIR}/payload/TempFolder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payload/FileRemoval.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payload/ShellPath.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payload/Registry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/payload/VersionText.cpp)
  # ole32 also serves win/ComInitialization.h in the program entry.
  target_link_libraries(payloadwin PUBLIC payload winfw shell32 ole32 uuid advapi32 version)
  target_link_libraries(saver PRIVATE payloadwin)
endif()
