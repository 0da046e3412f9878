/* An icon library that counts how often its large list is asked for, and has an export
   for the small list that gives none. */
#include "IconLibraryAbi.h"

static int bigCalls;
static const TIconList empty = {0, 0};

const TIconList* GetBigList(void) {
    ++bigCalls;
    return &empty;
}

const TIconList* GetSmolList(void) {
    return 0;
}

ICON_LIBRARY_EXPORT int BigListCalls(void) {
    return bigCalls;
}
