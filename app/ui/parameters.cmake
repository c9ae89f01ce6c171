# UI sources: node wrappers, enumeration mapping, parameter models and node parameter manager. Append paths relative to this folder to KALMUTH_UI_SOURCES and libraries to KALMUTH_UI_LIBRARIES.
