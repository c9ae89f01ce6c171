# Engine tests: recording.
