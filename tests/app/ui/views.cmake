# UI tests: views.
kalmuth_add_test(kalmuth-ui-views-test WIDGETS
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/views/BurgerMenueDockWidgetTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/views/StatusBarTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/views/RenderWidgetTest.cpp
  LIBRARIES kalmuth-ui-views Qt5::Test)
