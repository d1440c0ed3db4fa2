#include "mapisim/mapi/entryid.h"

#include <cstring>

namespace mapisim::mapi {
namespace {

// The stand-in's provider identifier: "mapisim" and a fixed tail.
constexpr std::uint8_t kProvider[16] = {'m',  'a',  'p',  'i',  's',  'i',  'm',  0,
                                        0x4F, 0x72, 0x76, 0x69, 0x4D, 0x61, 0x70, 0x69};

void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

} // namespace

void encode_into(const EntryId& id, std::uint8_t* out)
{
    std::memset(out, 0, kEntryIdSize);
    out[0] = id.short_term ? MAPI_SHORTTERM : 0;
    std::memcpy(out + 4, kProvider, sizeof kProvider);
    out[20] = static_cast<std::uint8_t>(id.kind);
    put32(out + 24, id.store);
    put32(out + 28, id.number);
}

model::Bytes encode(const EntryId& id)
{
    model::Bytes b(kEntryIdSize);
    encode_into(id, b.data());
    return b;
}

model::Value entryid_value(ULONG tag, const EntryId& id)
{
    return model::Value::binary(tag, encode(id));
}

std::optional<EntryId> decode(ULONG cb, const void* bytes)
{
    if (!bytes || cb != kEntryIdSize) return std::nullopt;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (std::memcmp(p + 4, kProvider, sizeof kProvider) != 0) return std::nullopt;
    if (p[1] || p[2] || p[3] || p[21] || p[22] || p[23]) return std::nullopt;
    if (p[20] < static_cast<std::uint8_t>(Kind::Store) ||
        p[20] > static_cast<std::uint8_t>(Kind::AbEntry))
        return std::nullopt;
    EntryId id;
    id.kind = static_cast<Kind>(p[20]);
    id.store = get32(p + 24);
    id.number = get32(p + 28);
    id.short_term = p[0] != 0;
    return id;
}

model::Bytes short_term(const model::Bytes& eid)
{
    model::Bytes out = eid;
    if (decode(static_cast<ULONG>(out.size()), out.data())) out[0] = MAPI_SHORTTERM;
    return out;
}

} // namespace mapisim::mapi
