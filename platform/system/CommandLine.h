/* Splitting one command line into words, by the rules of the system whose
 * calls this layer stands in for.
 *
 * The launcher's process start (WinExec, ShellExecute) and the separate
 * applier program, which links libc only, must read a command line the same
 * way, so this header depends on nothing but <stddef.h> and compiles as C
 * and as C++ (inside namespace qorv::platform there). It keeps no state and
 * may be called on any thread.
 *
 * Rules, for every word after the first:
 *   - blanks and tabs outside quotes separate words; runs count as one;
 *   - a double quote switches quoting on or off and is dropped;
 *   - inside quotes, two double quotes in a row give one literal quote and
 *     quoting stays on;
 *   - 2n backslashes before a quote give n backslashes, and the quote acts
 *     as above; 2n+1 backslashes before a quote give n backslashes and a
 *     literal quote; backslashes before anything else are kept as they are;
 *   - "" as a whole word is an empty word.
 * The first word is the program: quotes group and are dropped there, but
 * backslashes are never special, because program paths end in folder
 * separators on the system these rules come from. Leading blanks before the
 * program are skipped.
 *
 * Failure: when the caller's buffers are too small the result is -1 and the
 * buffers hold an incomplete split.
 */
#ifndef QORV_PLATFORM_SYSTEM_COMMANDLINE_H
#define QORV_PLATFORM_SYSTEM_COMMANDLINE_H

#include <stddef.h>

#ifdef __cplusplus
namespace qorv::platform {
#endif

static inline int qorv_is_command_blank(char c) { return c == ' ' || c == '\t'; }

/* Splits Line into words. The words are written, each ended by a zero byte,
 * into Storage, which needs room for strlen(Line) + 1 bytes at most; Words
 * receives up to MaxWords pointers into Storage. Returns the number of words
 * (0 for a line of blanks), or -1 when Storage or Words is too small. */
static inline int qorv_split_command_line(const char* line, char* storage, size_t storage_size,
                                          char** words, int max_words) {
  size_t out = 0;
  int count = 0;
  const char* p = line;
  if (line == NULL || storage == NULL || words == NULL || storage_size == 0) return -1;
  while (qorv_is_command_blank(*p)) ++p;
  if (*p == '\0') return 0;

  /* The program word. */
  {
    int quoted = 0;
    if (count >= max_words) return -1;
    words[count++] = storage + out;
    while (*p != '\0' && (quoted || !qorv_is_command_blank(*p))) {
      if (*p == '"') {
        quoted = !quoted;
      } else {
        if (out + 1 >= storage_size) return -1;
        storage[out++] = *p;
      }
      ++p;
    }
    storage[out++] = '\0';
  }

  for (;;) {
    int quoted = 0;
    while (qorv_is_command_blank(*p)) ++p;
    if (*p == '\0') break;
    if (count >= max_words) return -1;
    words[count++] = storage + out;
    while (*p != '\0' && (quoted || !qorv_is_command_blank(*p))) {
      if (*p == '\\') {
        size_t slashes = 0;
        while (*p == '\\') {
          ++slashes;
          ++p;
        }
        if (*p == '"') {
          size_t i;
          for (i = 0; i < slashes / 2; ++i) {
            if (out + 1 >= storage_size) return -1;
            storage[out++] = '\\';
          }
          if (slashes % 2 == 1) {
            if (out + 1 >= storage_size) return -1;
            storage[out++] = '"';
            ++p;
          }
          /* An even count leaves the quote to the next round. */
        } else {
          size_t i;
          for (i = 0; i < slashes; ++i) {
            if (out + 1 >= storage_size) return -1;
            storage[out++] = '\\';
          }
        }
        continue;
      }
      if (*p == '"') {
        if (quoted && p[1] == '"') {
          if (out + 1 >= storage_size) return -1;
          storage[out++] = '"';
          p += 2;
          continue;
        }
        quoted = !quoted;
        ++p;
        continue;
      }
      if (out + 1 >= storage_size) return -1;
      storage[out++] = *p++;
    }
    if (out >= storage_size) return -1;
    storage[out++] = '\0';
  }
  return count;
}

#ifdef __cplusplus
}  // namespace qorv::platform
#endif

#endif
