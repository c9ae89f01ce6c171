# UI sources: render widget, status bars, collapsible dock. Append paths relative to this folder to KALMUTH_UI_SOURCES and libraries to KALMUTH_UI_LIBRARIES.
