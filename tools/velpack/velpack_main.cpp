// velpack: the package builder's command line.
#include <cstdio>
#include <string>
#include <vector>

#include "Progress.h"
#include "Velpack.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string out, err;
    const int code = vel::RunVelpack(args, out, err, vel::IsTerminal(stderr));
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return code;
}
