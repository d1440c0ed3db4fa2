// libFuzzer target: arbitrary bytes as an Outlook message file (.msg). The
// reader must turn every input into a message or one MsgError line: damage
// to the compound file (sector chains, directory) and to the property
// streams (short headers, lengths past the end, names pointing nowhere)
// alike. Seed it with real .msg files for depth.
#include <cstddef>
#include <cstdint>

#if MAPISIM_HAVE_MSG
#include "mapisim/loader/msg/msg_reader.h"
#include "mapisim/model/world.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
#if MAPISIM_HAVE_MSG
    using namespace mapisim;
    model::World world;
    auto store = world.add_profile("P").add_store("S", "Personal Folders");
    try {
        auto msg = loader::msg::read_msg_bytes(data, size, "input.msg", *store);
        // Touch what a reader of the model would.
        std::size_t seen = msg->props.size() + msg->recipients.size();
        for (const auto& a : msg->attachments) seen += a.props.size() + (a.embedded ? 1 : 0);
        (void)seen;
    } catch (const loader::msg::MsgError&) {}
#else
    (void)data;
    (void)size;
#endif
    return 0;
}
