# The program kalmuth: main.cpp (and its resources) over kalmuth-ui. Defined only once main.cpp exists.
if(TARGET kalmuth-ui AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/src/main.cpp)
  add_executable(kalmuth src/main.cpp)
  target_link_libraries(kalmuth PRIVATE kalmuth-ui)
endif()
