// The entry of the windows' module, which the program loads only to show them.
#include "app/gui_main.h"

extern "C" int zek32_run_gui(int argc, char** argv) { return zek::RunGui(argc, argv); }
