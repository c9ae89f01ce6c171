# Engine tests: grab.
