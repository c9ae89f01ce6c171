# Orbelt tests: network.
