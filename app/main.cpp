#include "app/shell/vantrel_app.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int status = VantrelApp::run(argc, argv);
    // Every window, file and setting is closed by now. What is left is freeing a large
    // district's memory piece by piece (caches, and scenes handed to a thread that frees
    // them), which at 20,000 positions can hold the quit for most of a second; the system
    // takes the memory back at once.
    std::fflush(nullptr);
    std::_Exit(status);
}
