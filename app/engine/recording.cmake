# Engine sources: recording. Append to KALMUTH_ENGINE_SOURCES (paths relative to this folder) and KALMUTH_ENGINE_LIBRARIES.
