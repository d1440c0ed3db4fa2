// What an application takes from the platform's own headers, as on Windows
// it would from objidl.h and mapidefs.h: reading a stream the library hands
// out, and a value of a property array. Handles are the MAPI objects
// themselves, so this is the platform's interface, not the library's inside.
#pragma once

#include <cstdio>
#include <string>

#include "OrviMapi.h"
#include "mapisim/decl/mapi.h"

namespace orvimapi {

// Reads the whole of a stream from its current position.
std::string ReadStream(OrviMapiStream stream);

// Writes the whole of a stream to a file; returns the bytes written or -1.
long long CopyStream(OrviMapiStream stream, FILE* file);

// The 8-bit text at `position` of a property array when it carries `tag`.
bool PropertyText(OrviMapiProps props, unsigned position, uint32_t tag, std::string& out);

} // namespace orvimapi
