// Brisquel, the archive viewer.
#include "Program.h"

int main(int argc, char** argv) {
    return viewer::BrisquelMain(argc, argv);
}
