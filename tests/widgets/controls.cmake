# Orbelt tests: controls.
