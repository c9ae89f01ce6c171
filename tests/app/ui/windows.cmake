# UI tests: windows.
kalmuth_add_test(kalmuth-ui-windows-test WIDGETS TIMEOUT 240
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/windows/WindowTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/windows/ImageWindowTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windows/TesvarMdiAreaTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windows/KalmuthTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windows/KalmuthRealCameraTest.cpp
  LIBRARIES kalmuth-ui-windows Qt5::Test)
