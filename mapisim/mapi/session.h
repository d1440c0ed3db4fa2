// MAPI32's process state: initialisation count and the shared session.
#pragma once

#include <cstdint>
#include <string>

namespace mapisim::mapi {

std::uint32_t init_count();
// Back to a process that never called MAPIInitialize; sessions already
// handed out keep working.
void reset_runtime();

// What the last IMAPISession::ShowForm that showed a form was given.
struct ShownForm {
    bool shown = false;
    std::uintptr_t window = 0;
    std::string store; // display names; "" for objects not the stand-in's
    std::string folder;
    std::uint32_t token = 0;
    std::uint32_t flags = 0;
    std::uint32_t status = 0;
    std::uint32_t message_flags = 0;
    std::uint32_t access = 0;
    std::string message_class;
    std::string subject;     // of the message the token stood for
    std::int32_t result = 0; // what ShowForm returned
};
const ShownForm& last_form();

// What the last address-book dialog (IAddrBook::Address past its argument
// checks) was shown with.
struct ShownAddressDialog {
    bool shown = false;
    std::uintptr_t window = 0;
    std::uint32_t flags = 0;       // ADRPARM's ulFlags
    std::uint32_t dest_fields = 0; // recipient wells; 0 when only browsing
    bool address_list = false;     // an ADRLIST to fill was passed
    bool caption_given = false;
    std::string caption;
    std::int32_t result = 0; // what Address returned
};
const ShownAddressDialog& last_address_dialog();
void record_address_dialog(ShownAddressDialog dialog);

} // namespace mapisim::mapi
