// Property values as Outlook's files (.msg, .pst) store them, to values of
// the mailbox model: little-endian fixed-size data, 8-bit and UTF-16LE
// texts, binary data. Shared by the .msg and .pst readers.
//
// The model holds fewer types than Outlook writes: PT_R4, PT_CURRENCY,
// PT_APPTIME and the multi-valued forms other than long, 8-bit text and
// binary have no place in it and are left out; PT_MV_UNICODE becomes
// PT_MV_STRING8 (code page 1252, as the model's 8-bit texts are).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "mapisim/model/value.h"

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::loader::outlook {

using model::Bytes;
using model::Value;

// A fixed-size value (PT_I2, PT_LONG, PT_BOOLEAN, PT_DOUBLE, PT_I8,
// PT_SYSTIME, PT_ERROR) from the first bytes of data; empty when the type
// is not one of them or data is too short.
std::optional<Value> fixed_value(ULONG tag, const std::uint8_t* data, std::size_t size);

// A variable-size value (PT_STRING8, PT_UNICODE, PT_BINARY, PT_CLSID) from
// its bytes. Texts lose the terminators Outlook stores with them. PR_HTML,
// which Outlook keeps as binary, becomes the 8-bit text it is, so that
// PR_BODY_HTML_A finds it. Empty for other types or a short PT_CLSID.
std::optional<Value> variable_value(ULONG tag, Bytes data);

// A multi-valued text or binary property from its items' bytes (8-bit
// or UTF-16LE texts, as the tag's type says).
std::optional<Value> multi_value(ULONG tag, std::vector<Bytes> items);
// PT_MV_LONG from packed 32-bit items.
std::optional<Value> multi_long(ULONG tag, const Bytes& packed);

std::u16string utf16le(const std::uint8_t* data, std::size_t size);

} // namespace mapisim::loader::outlook

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
