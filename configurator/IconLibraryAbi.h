/* How an icon library hands its image lists to the configurator. Plain C, so that a
   library can be built with any compiler: each export returns one list, and each image of
   a list is a whole PNG file in memory. The configurator never unloads the library, so the
   bytes only have to stay where they are while it is loaded; static data is the usual way. */
#ifndef VENDRILL_ICON_LIBRARY_ABI_H
#define VENDRILL_ICON_LIBRARY_ABI_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TIconImage {
    const unsigned char* Png; /* the bytes of one PNG file */
    size_t Size;              /* how many */
} TIconImage;

typedef struct TIconList {
    size_t Count;             /* images in the list; an item's Icon is an index into it */
    const TIconImage* Images; /* Count entries, index 0 first */
} TIconList;

/* Both exports have this type: no arguments, the list (or NULL for none). */
typedef const TIconList* (*TGetIconList)(void);

#define ICON_LIBRARY_BIG_LIST "GetBigList"    /* large images: the icon style */
#define ICON_LIBRARY_SMALL_LIST "GetSmolList" /* small images: the table style */

#define ICON_LIBRARY_EXPORT __attribute__((visibility("default")))

/* A library defines either or both. */
ICON_LIBRARY_EXPORT const TIconList* GetBigList(void);
ICON_LIBRARY_EXPORT const TIconList* GetSmolList(void);

#ifdef __cplusplus
}
#endif

#endif
