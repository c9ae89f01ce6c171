# UI sources: flat slider, recording settings panel, camera settings panel. Append paths relative to this folder to KALMUTH_UI_SOURCES and libraries to KALMUTH_UI_LIBRARIES.
