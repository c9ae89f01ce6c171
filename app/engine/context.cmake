# Engine sources: device context and context manager. Append to KALMUTH_ENGINE_SOURCES and KALMUTH_ENGINE_LIBRARIES.
list(APPEND KALMUTH_ENGINE_SOURCES
  include/DeviceContextWindow.h
  include/DeviceContext.h
  src/DeviceContext.cpp
  include/ContextManager.h
  src/ContextManager.cpp
  src/ContextLog.h
  src/ContextLog.cpp)
list(APPEND KALMUTH_ENGINE_LIBRARIES kalmuth-engine-grab kalmuth-engine-devices brasko)
