# Engine tests: media.
