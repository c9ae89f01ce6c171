# Engine benchmarks: recording.
