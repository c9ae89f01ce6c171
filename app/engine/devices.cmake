# Engine sources: device discovery, device creation and the display pipeline. Append to KALMUTH_ENGINE_SOURCES and KALMUTH_ENGINE_LIBRARIES.
