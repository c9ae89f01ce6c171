# Engine tests: context.
kalmuth_add_test(engine_context_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/context/ContextManagerTest.cpp
  LIBRARIES kalmuth-engine Qt5::Test
  TIMEOUT 120)
