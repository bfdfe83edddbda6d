// The arvelle program: see 'arvelle --help'.

#include "Cli.hpp"

#include <unistd.h>

#include <iostream>

int main(int argc, char** argv) {
    return arvelle::tools::runCli(argc, argv, std::cout, std::cerr, isatty(STDOUT_FILENO) != 0);
}
