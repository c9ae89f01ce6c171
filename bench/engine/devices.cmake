# Engine benchmarks: devices.
