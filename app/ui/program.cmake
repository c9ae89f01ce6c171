# The program kalmuth: main.cpp (and its resources) over kalmuth-ui. Defined only once main.cpp exists.
