#include "app/batch_mode.h"

int main(int argc, char** argv) { return zek::RunBatch(argc, argv); }
