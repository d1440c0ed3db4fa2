// The registry values and file versions a description gives, gathered
// for loader.cpp to apply once the whole description is good.
#include <cstdio>

#include "mapisim/loader/description.h"

namespace mapisim::loader::description {

void Loader::load_registry(const J& v)
{
    need_array(v);
    has_registry = true;
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step item(*this, i);
        const J& e = v.items()[i];
        need_object(e, "a registry value");
        check_members(e, {"root", "key", "name", "string", "dword", "binary", "type", "data"},
                      "a registry value");
        RegistryOp op;
        {
            Step step(*this, "root");
            const J& root = required(e, "root");
            const std::string r = str(root);
            if (r == "HKCU" || r == "HKEY_CURRENT_USER")
                op.root = MAPISIM_HKCU;
            else if (r == "HKLM" || r == "HKEY_LOCAL_MACHINE")
                op.root = MAPISIM_HKLM;
            else
                fail(root, "unknown root " + quote(r) + "; expected \"HKCU\" or \"HKLM\"");
        }
        {
            Step step(*this, "key");
            op.key = text8(required(e, "key"));
        }
        if (const J* n = member(e, "name")) {
            Step step(*this, "name");
            op.name = text8(*n);
        }
        int kinds = 0;
        for (const char* k : {"string", "dword", "binary", "data"})
            kinds += member(e, k) != nullptr;
        if (kinds > 1) fail(e, "give one of \"string\", \"dword\", \"binary\" or \"data\"");
        if (member(e, "type") && !member(e, "data")) fail(e, "\"type\" goes with \"data\"");
        if (const J* s = member(e, "string")) {
            Step step(*this, "string");
            const std::string t = text8(*s);
            op.type = REG_SZ;
            op.data.assign(t.begin(), t.end());
            op.data.push_back(0);
        } else if (const J* d = member(e, "dword")) {
            Step step(*this, "dword");
            const auto x = static_cast<std::uint32_t>(whole32(*d));
            op.type = REG_DWORD;
            op.data = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
                       static_cast<std::uint8_t>(x >> 16), static_cast<std::uint8_t>(x >> 24)};
        } else if (const J* b = member(e, "binary")) {
            Step step(*this, "binary");
            op.type = REG_BINARY;
            op.data = bytes(*b);
        } else if (const J* d = member(e, "data")) {
            {
                Step step(*this, "type");
                op.type = static_cast<std::uint32_t>(whole32(required(e, "type")));
            }
            Step step(*this, "data");
            op.data = bytes(*d);
        } else if (op.name) {
            fail(e, "a named registry value needs \"string\", \"dword\", \"binary\" or \"data\"");
        }
        registry.push_back(std::move(op));
    }
}

void Loader::load_versions(const J& v)
{
    need_array(v);
    has_versions = true;
    auto version = [&](const J& x, std::uint32_t& ms, std::uint32_t& ls) {
        const std::string s = str(x);
        std::uint32_t part[4] = {};
        std::size_t i = 0;
        for (int k = 0; k < 4; ++k) {
            const std::size_t start = i;
            std::uint32_t n = 0;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n <= 65535)
                n = n * 10 + static_cast<std::uint32_t>(s[i++] - '0');
            const bool end_ok = k == 3 ? i == s.size() : i < s.size() && s[i] == '.';
            if (i == start || n > 65535 || !end_ok)
                fail(x, "expected a version \"major.minor.build.revision\", each 0 to 65535");
            part[k] = n;
            ++i;
        }
        ms = part[0] << 16 | part[1];
        ls = part[2] << 16 | part[3];
    };
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step item(*this, i);
        const J& e = v.items()[i];
        need_object(e, "a file version");
        check_members(e, {"path", "product", "file"}, "a file version");
        VersionOp op{};
        {
            Step step(*this, "path");
            const J& p = required(e, "path");
            op.path = text8(p);
            if (op.path.empty()) fail(p, "the path may not be empty");
        }
        {
            Step step(*this, "product");
            version(required(e, "product"), op.product_ms, op.product_ls);
        }
        op.file_ms = op.product_ms;
        op.file_ls = op.product_ls;
        if (const J* f = member(e, "file")) {
            Step step(*this, "file");
            version(*f, op.file_ms, op.file_ls);
        }
        versions.push_back(std::move(op));
    }
}

} // namespace mapisim::loader::description
