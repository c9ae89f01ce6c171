# Orbelt tests: featuretree.
