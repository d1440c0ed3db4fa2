// orvimapi watch: the store's notifications as they arrive.
#include <fstream>
#include <iterator>

#include "commands.h"
#include "events.h"
#include "mapisim/mapisim.h"
#include "stores.h"

namespace orvimapi {

int RunWatch(Context& context, Arguments& arguments)
{
    const std::string storeName = arguments.option("--store");
    const std::string file = arguments.option("--deliver");
    const std::string to = arguments.option("--to");
    const bool threaded = arguments.flag("--thread");
    arguments.positional(0, 0, "watch [--store NAME] [--deliver FILE [--to PATH]] [--thread]");
    if (!to.empty() && file.empty()) Usage("--to needs --deliver FILE");

    std::string messages;
    if (!file.empty()) {
        std::ifstream in(file, std::ios::binary);
        if (!in) Usage("cannot read " + file);
        messages.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    Session session(context.options.profile);
    StoreRow row;
    Store store = OpenStore(storeName, &row);
    if (threaded && mapisim_set_notification_thread(1) != 0)
        Fail("cannot start the notification thread");
    int32_t delivered = 0;
    {
        EventWatch watch(context, store.get(), true, true);
        if (!messages.empty()) {
            delivered = mapisim_deliver_mail(row.displayName.c_str(), to.c_str(), messages.c_str());
            mapisim_wait_for_notifications();
        }
    }
    mapisim_set_notification_thread(0);
    if (delivered < 0)
        throw CommandFailure("cannot deliver " + file + ": " + mapisim_last_load_error(), 2);
    if (!context.options.json && !file.empty())
        context.print("delivered " + std::to_string(delivered) + " message" +
                      (delivered == 1 ? "" : "s"));
    return 0;
}

} // namespace orvimapi
