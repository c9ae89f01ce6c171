# Orbelt sources: bandwidth-measuring cameras, GigE optimisation, USB topology layer. Append absolute paths to ORBELT_DEVICE_SOURCES, libraries to ORBELT_DEVICE_LIBRARIES.
