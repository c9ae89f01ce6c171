# Orbelt tests: device tree.
