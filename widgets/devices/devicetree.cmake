# Orbelt sources: device tree, bandwidth flat tree and limit editors. Append absolute paths to ORBELT_DEVICE_SOURCES, libraries to ORBELT_DEVICE_LIBRARIES.
