# UI tests: windows.
