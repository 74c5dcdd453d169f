/* Prints what the build embedded: the gem picture's size and a few of its
   pixel-pair words, the ship's (a PNG made ready for kestrin), then the
   sample text line by line. */

#include <stdint.h>
#include <stdio.h>

typedef uint32_t u32; /* the header leaves its element type to the includer */
#include "gem.bmp.h"
#include "ship.bmp.h"

extern const char* sample_text[];

int main(void) {
  const int words_per_row = GEM_WIDTH / 2;
  const int middle_row = GEM_HEIGHT / 2;
  printf("gem.bmp: %d x %d pixels (%d), %d words a row\n", GEM_WIDTH, GEM_HEIGHT, GEM_SIZE,
         words_per_row);
  printf("top-left word (transparent): 0x%08X\n", (unsigned)gem_Bitmap[0]);
  printf("middle row:");
  for (int i = 0; i < words_per_row; i += 3) {
    printf(" 0x%08X", (unsigned)gem_Bitmap[middle_row * words_per_row + i]);
  }
  printf("\n");
  /* Its odd width has gained a transparent column; a wing is half opaque in
     the PNG, which makes it visible. */
  printf("ship.png: %d x %d pixels, top-left word 0x%08X, a wing's 0x%08X\n", SHIP_WIDTH,
         SHIP_HEIGHT, (unsigned)ship_Bitmap[0], (unsigned)ship_Bitmap[8 * SHIP_WIDTH / 2 + 2]);

  int lines = 0;
  while (sample_text[lines] != NULL) ++lines;
  printf("sample.txt: %d lines\n", lines);
  for (int i = 0; i < lines; ++i) printf("%s\n", sample_text[i]);
  return 0;
}
