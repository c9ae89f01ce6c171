# Orbelt tests: bandwidth.
