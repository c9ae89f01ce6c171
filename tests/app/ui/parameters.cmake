# UI tests: parameters.
