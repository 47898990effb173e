#include "link/console_keys.h"

int ReadWholeKey() {
  int key = ReadKey();
  if (key != 0 && key != 0xE0) return key;
  int code = ReadKey();
  return code < 0 ? -1 : (kExtendedKey | code);
}
