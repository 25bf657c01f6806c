#include "cli/lkp.h"

int main(int argc, char** argv) { return lark::cli::run(argc, argv); }
