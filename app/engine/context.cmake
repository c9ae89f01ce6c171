# Engine sources: device context and context manager. Append to KALMUTH_ENGINE_SOURCES and KALMUTH_ENGINE_LIBRARIES.
