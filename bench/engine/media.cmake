# Engine benchmarks: media.
