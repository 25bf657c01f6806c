#include <csignal>

#include "cli/lkp.h"

int main(int argc, char** argv) {
    // Past the file size limit a write fails with EFBIG and is reported; the default
    // action of SIGXFSZ would end the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    return lark::cli::run(argc, argv);
}
