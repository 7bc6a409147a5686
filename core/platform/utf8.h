#pragma once

#include <cstddef>

namespace zeb::platform {

// The bytes of the UTF-8 sequence that `lead` starts; 1 for a byte that
// starts none.
inline size_t utf8_sequence_length(unsigned char lead) {
  if (lead >= 0xF8) return 1;
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  return lead >= 0xC0 ? 2 : 1;
}

// How many bytes of `text`, at most `limit`, hold whole characters, given
// the bytes each character takes by its first.
template <typename CharacterLength>
size_t whole_characters_of(const char* text, size_t limit, CharacterLength&& length_of) {
  size_t length = 0;
  while (text[length] != '\0') {
    size_t step = length_of(static_cast<unsigned char>(text[length]));
    // A sequence cut short by the end of the text counts only what is there.
    size_t present = 1;
    while (present < step && text[length + present] != '\0') ++present;
    if (length + present > limit) break;
    length += present;
  }
  return length;
}

}  // namespace zeb::platform
