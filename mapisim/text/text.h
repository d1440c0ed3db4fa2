// Text conversions shared by the stand-in, its loader and the command:
// code page 1252 (the 8-bit text of MAPI stores here), UTF-8 and UTF-16.
//
// One rule for what a form cannot hold:
//   - reading, anything that is not a character (a byte code page 1252
//     leaves undefined: 0x81, 0x8D, 0x8F, 0x90, 0x9D; a malformed UTF-8
//     sequence, one byte at a time; a lone UTF-16 surrogate) becomes
//     U+FFFD, the replacement character;
//   - writing code page 1252, a character it has no byte for becomes '?',
//     as Windows writes it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Exported from libmapisim for the command and the tests.
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::text {

inline constexpr char32_t kReplacement = 0xFFFD;

// The character of a code page 1252 byte (U+FFFD for the undefined ones).
char32_t from_cp1252(unsigned char byte);
// The code page 1252 byte of a character, or none.
std::optional<unsigned char> to_cp1252(char32_t code);

// The length of the well-formed UTF-8 sequence at s[i] (1 to 4), or 0 when
// the bytes there are not one (bad lead, missing continuation, overlong,
// surrogate, beyond U+10FFFF).
std::size_t utf8_sequence_length(std::string_view s, std::size_t i);
// The character at s[i], moving i past it; U+FFFD and one byte for a
// malformed sequence.
char32_t next_utf8(std::string_view s, std::size_t& i);
void append_utf8(std::string& out, char32_t code);
void append_utf16(std::u16string& out, char32_t code);

std::u16string cp1252_to_utf16(std::string_view s);
std::string utf16_to_cp1252(std::u16string_view s);
std::u16string utf8_to_utf16(std::string_view s);
std::string utf16_to_utf8(std::u16string_view s);

} // namespace mapisim::text

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
