// Restrictions and sort comparisons over property values.
//
// A restriction is copied out of the caller's memory when it is set, so a
// table never points into memory the caller may free. Texts compare
// without regard to letter case, as stores sort and match them.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "mapisim/model/value.h"

namespace mapisim::mapi {

using model::Value;

struct Res {
    ULONG rt = RES_AND;
    ULONG op = 0;   // relop, fuzzy level or BMR
    ULONG tag = 0;  // ulPropTag / ulPropTag1
    ULONG tag2 = 0; // ulPropTag2 of RES_COMPAREPROPS
    ULONG num = 0;  // mask of RES_BITMASK, cb of RES_SIZE
    std::optional<Value> value;
    std::vector<Res> children;
};

// MAPI_E_TOO_COMPLEX for what the stand-in cannot evaluate (RELOP_RE,
// sub-object restrictions, nesting deeper than 64), MAPI_E_INVALID_PARAMETER
// for a malformed one.
HRESULT copy_restriction(const SRestriction& in, Res& out);

// A row's value of a tag in the tag's type; empty when missing.
using Getter = std::function<std::optional<Value>(ULONG tag)>;
bool evaluate(const Res& r, const Getter& get);

// Orders two values of one type: texts without regard to case, missing
// before anything. Returns <0, 0, >0.
int compare(const std::optional<Value>& a, const std::optional<Value>& b);

} // namespace mapisim::mapi
