#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/testmain.h"

// Every network test program runs itself inside a private network namespace, listing its
// cases included, so no case can ever reach beyond loopback.
int main(int argc, char** argv) {
    if (std::getenv("LINKVET_NETNS") == nullptr) {
        ::setenv("LINKVET_NETNS", "1", 1);
        std::vector<char*> arguments = {const_cast<char*>(LINKVET_NETNS_WRAPPER)};
        arguments.insert(arguments.end(), argv, argv + argc);
        arguments.push_back(nullptr);
        ::execv(LINKVET_NETNS_WRAPPER, arguments.data());
        std::perror("cannot enter the test network namespace");
        return 1;
    }
    return RunTests(argc, argv);
}
