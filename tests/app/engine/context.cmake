# Engine tests: context.
