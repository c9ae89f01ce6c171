# UI sources: node wrappers, enumeration mapping, parameter models and node parameter manager. Append paths relative to this folder to KALMUTH_UI_SOURCES and libraries to KALMUTH_UI_LIBRARIES.
list(APPEND KALMUTH_UI_SOURCES
  include/NodeWrapper.h src/NodeWrapper.cpp
  include/EnumerationToBooleanWrapper.h include/WrappedEnumerationToBoolean.h src/EnumerationToBooleanWrapper.cpp src/WrappedEnumerationToBoolean.cpp
  include/IntegerToFloatWrapper.h include/WrappedIntegerToFloat.h src/IntegerToFloatWrapper.cpp src/WrappedIntegerToFloat.cpp
  include/NodeEnumerationMappingLayer.h src/NodeEnumerationMappingLayer.cpp
  include/BaseParameterModel.h src/BaseParameterModel.cpp
  include/DoubleParameterModel.h src/DoubleParameterModel.cpp
  include/BooleanParameterModel.h src/BooleanParameterModel.cpp
  include/NodeParameterManager.h src/NodeParameterManager.cpp)
list(APPEND KALMUTH_UI_LIBRARIES NimboGenApi NimboGCBase NimboBase orbelt Qt5::Widgets Boost::headers)
