# Engine benchmarks: grab.
