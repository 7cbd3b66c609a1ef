#include "app/shell/vantrel_app.h"

int main(int argc, char **argv)
{
    return VantrelApp::run(argc, argv);
}
