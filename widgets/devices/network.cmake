# Orbelt sources: IP address widget and validators. Append absolute paths to ORBELT_DEVICE_SOURCES, libraries to ORBELT_DEVICE_LIBRARIES.
