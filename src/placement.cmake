# Window placement and single-instance helpers: the portable arithmetic in
# hostcore, the monitor list in the framework layer, the Win32 helpers in
# hostwin.
target_sources(hostcore PRIVATE host/PlacementMath.cpp)

if(WIN32)
  target_sources(winfw PRIVATE win/Monitors.cpp)
  target_sources(hostwin PRIVATE
    host/FormUtils.cpp
    host/Duplicate.cpp)
endif()
