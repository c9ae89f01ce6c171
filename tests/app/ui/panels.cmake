# UI tests: panels.
