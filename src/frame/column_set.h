// A process-wide column set whose entries may be patched: some start as
// placeholders and take a store's own tags when its named properties are
// resolved. Constant-initialised from its first tags (declare it
// `constinit`), so it is ready before any static constructor runs; Reset
// puts the first tags back.
#pragma once

#include <array>

#include "frame/platform.h"

template <ULONG N>
class PatchableColumns {
public:
    constexpr explicit PatchableColumns(const std::array<ULONG, N>& initial) : initial_(initial)
    {
        Reset();
    }

    // The array as MAPI calls take it.
    LPSPropTagArray Array() { return reinterpret_cast<LPSPropTagArray>(&columns_); }

    // Out-of-range positions are ignored, and read as PR_NULL.
    void Set(ULONG position, ULONG propTag)
    {
        if (position < N) columns_.aulPropTag[position] = propTag;
    }
    ULONG At(ULONG position) const
    {
        return position < N ? columns_.aulPropTag[position] : PR_NULL;
    }

    constexpr void Reset()
    {
        columns_.cValues = N;
        for (ULONG i = 0; i < N; ++i) columns_.aulPropTag[i] = initial_[i];
    }

private:
    SizedSPropTagArray(N, columns_) = {};
    std::array<ULONG, N> initial_;
};
