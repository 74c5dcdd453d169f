/* Prints what the build embedded: the gem picture's size and a few of its
   pixel-pair words, then the sample text line by line. */

#include <stdint.h>
#include <stdio.h>

typedef uint32_t u32; /* the header leaves its element type to the includer */
#include "gem.bmp.h"

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

  int lines = 0;
  while (sample_text[lines] != NULL) ++lines;
  printf("sample.txt: %d lines\n", lines);
  for (int i = 0; i < lines; ++i) printf("%s\n", sample_text[i]);
  return 0;
}
