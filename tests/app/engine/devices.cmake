# Engine tests: devices.
