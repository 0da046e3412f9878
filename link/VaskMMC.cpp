#include "VaskMMC.h"

// Not mounted until the card file system lands.
bool TMMC::Mount() { return false; }
bool TMMC::ReadDirectory() { return false; }
