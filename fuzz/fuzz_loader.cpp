// libFuzzer target: arbitrary bytes as a mailbox description. A load must
// either succeed or fail with a reason and leave the installed world alone.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto before = mapisim::model::current_ptr();
    if (mapisim_load_mailbox_string(text.c_str()) != 0) {
        if (mapisim_last_load_error()[0] == '\0') __builtin_trap();
        if (mapisim::model::current_ptr() != before) __builtin_trap();
    }
    return 0;
}
