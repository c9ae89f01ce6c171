# Engine sources: grab. Append to KALMUTH_ENGINE_SOURCES (paths relative to this folder) and KALMUTH_ENGINE_LIBRARIES.
#
# The grab engine builds as its own static part of the engine, which kalmuth-engine links; its tests
# and benchmarks link only this part.
add_library(kalmuth-engine-grab STATIC
  include/GrabDevice.h
  include/Camera.h
  src/Camera.cpp
  src/GrabSupport.h
  src/GrabSupport.cpp
  include/SafeNodeAccess.h
  src/SafeNodeAccess.cpp
  include/StdFeatureListCamera.h
  src/StdFeatureListCamera.cpp
  include/CameraConfiguration.h
  src/CameraConfiguration.cpp
  include/GenApiNodeMap.h
  src/GenApiNodeMap.cpp
  include/NimboGrabDevice.h
  src/NimboGrabDevice.cpp)
set_target_properties(kalmuth-engine-grab PROPERTIES AUTOMOC ON)
target_include_directories(kalmuth-engine-grab PUBLIC include PRIVATE src)
target_link_libraries(kalmuth-engine-grab PUBLIC Qt5::Core PkgConfig::LOG4CPP Threads::Threads lorvish brasko
  NimboBase NimboUtility NimboGenApi NimboGCBase nimbo-os)
list(APPEND KALMUTH_ENGINE_LIBRARIES kalmuth-engine-grab)
