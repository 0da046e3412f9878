// The configurator Vendrill.
#include "Program.h"

int main(int argc, char** argv) {
    return VendrillMain(argc, argv);
}
