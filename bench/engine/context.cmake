# Engine benchmarks: context.
