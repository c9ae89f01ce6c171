# Orbelt tests: featuretree.
kalmuth_add_test(orbelt_featuretree_tests WIDGETS
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/FeatureTreeItemTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/FeatureTreeModelTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/FavoritesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/FilterTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/FeatureTreeViewTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/FeatureTreeWidgetTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/DocumentationHelperTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/featuretree/FeatureTreeDelegateTest.cpp
  LIBRARIES orbelt Qt5::Test NimboGenApi PkgConfig::LOG4CPP)
# The documentation test catches opened URLs with a slot of its own.
set_target_properties(orbelt_featuretree_tests PROPERTIES AUTOMOC ON)
