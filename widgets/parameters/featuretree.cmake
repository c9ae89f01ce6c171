# Orbelt sources: feature tree (items, model, favourites, filters, delegate, view, widget, documentation helper). Append absolute paths to ORBELT_PARAMETER_SOURCES, libraries to ORBELT_PARAMETER_LIBRARIES.
list(APPEND ORBELT_PARAMETER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeItem.h
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeModelExtension.h
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeHighlighter.h
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FavoritesData.h
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeModel.h
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeWarnings.h
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeItem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeHighlighter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/FavoritesData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeModelFavorites.cpp
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/NodeMapFilter.h
  ${CMAKE_CURRENT_LIST_DIR}/src/NodeMapFilter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureFilters.qrc
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeProxyModel.h
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeProxyModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeView.h
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeWidget.h
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeWidget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/DocumentationHelper.h
  ${CMAKE_CURRENT_LIST_DIR}/src/DocumentationHelper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FeatureTreeDelegate.h
  ${CMAKE_CURRENT_LIST_DIR}/src/FeatureTreeDelegate.cpp)
list(APPEND ORBELT_PARAMETER_LIBRARIES Qt5::Core Qt5::Gui Qt5::Widgets Qt5::Xml NimboGenApi NimboGCBase lorvish NimboBase PkgConfig::LOG4CPP)
