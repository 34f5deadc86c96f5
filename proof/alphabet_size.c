/* Prints the number of host calls in the checker's alphabet, or, given -l,
   each of them as the replay reads it. */
#include <stdio.h>
#include <string.h>

#include "harness.h"

int readtrail = 0;

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "-l") == 0) {
    readtrail = 1;
    for (int i = 0; i < kv_action_count(); ++i) {
      kv_call(i);
    }
    return 0;
  }
  printf("%d\n", kv_action_count());
  return 0;
}
