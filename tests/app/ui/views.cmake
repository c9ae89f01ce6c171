# UI tests: views.
