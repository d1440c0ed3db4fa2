#include "platform_view.h"

namespace orvimapi {

namespace {

IStream* AsStream(OrviMapiStream stream) { return reinterpret_cast<IStream*>(stream); }

template <class Sink>
bool Drain(OrviMapiStream stream, Sink sink)
{
    char buffer[65536];
    for (;;) {
        ULONG read = 0;
        if (FAILED(AsStream(stream)->Read(buffer, sizeof buffer, &read))) return false;
        if (read == 0) return true;
        if (!sink(buffer, read)) return false;
    }
}

} // namespace

std::string ReadStream(OrviMapiStream stream)
{
    std::string data;
    Drain(stream, [&](const char* bytes, ULONG size) {
        data.append(bytes, size);
        return true;
    });
    return data;
}

long long CopyStream(OrviMapiStream stream, FILE* file)
{
    long long total = 0;
    const bool complete = Drain(stream, [&](const char* bytes, ULONG size) {
        total += size;
        return std::fwrite(bytes, 1, size, file) == size;
    });
    return complete ? total : -1;
}

bool PropertyText(OrviMapiProps props, unsigned position, uint32_t tag, std::string& out)
{
    const SPropValue& value = reinterpret_cast<const SPropValue*>(props)[position];
    if (value.ulPropTag != tag || value.Value.lpszA == nullptr) return false;
    out = value.Value.lpszA;
    return true;
}

} // namespace orvimapi
