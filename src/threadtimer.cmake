# The thread timer and the framework pieces it stands on: ownable components
# and the synchronisation with the main thread in the framework layer, the
# timer itself in the host.
if(WIN32)
  target_sources(winfw PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/win/Component.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win/Synchronize.cpp)
  target_sources(hostwin PRIVATE ${CMAKE_CURRENT_LIST_DIR}/host/ThreadTimer.cpp)
endif()
