/* Compiled as C, to keep the splitter usable from the applier, which links
 * libc only. Joins the words with "|" so the C++ tests can compare. */
#include "platform/system/CommandLine.h"

int qorv_test_split_joined(const char* line, char* out, size_t out_size) {
  char storage[1024];
  char* words[64];
  int count = qorv_split_command_line(line, storage, sizeof storage, words, 64);
  size_t used = 0;
  int i;
  if (count < 0 || out_size == 0) return -1;
  for (i = 0; i < count; ++i) {
    const char* w = words[i];
    if (i > 0) {
      if (used + 1 >= out_size) return -1;
      out[used++] = '|';
    }
    while (*w != '\0') {
      if (used + 1 >= out_size) return -1;
      out[used++] = *w++;
    }
  }
  out[used] = '\0';
  return count;
}
