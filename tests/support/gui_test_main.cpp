// Main of the window's test executables: the shared main with a widget application object.
#define TONVERA_GUI_TEST_MAIN
#include "test_main.cpp"
