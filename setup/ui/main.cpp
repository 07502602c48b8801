// QKPV51HTRProject: the meter setup program.
#include "ui/main_block.h"

int main(int argc, char** argv) { return zr::setup::MainBlock(argc, argv); }
