// Entry point of tessel-sql.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = tessel::cli::RunCli(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
