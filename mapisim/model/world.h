// The world of the MAPI stand-in: profiles with their stores, status rows
// and address book, plus the settings and scripted user choices of a run.
//
// Building and installing a world:
//
//   auto world = std::make_shared<World>();
//   Profile& p = world->add_profile("Outlook", /*is_default=*/true);
//   auto store = p.add_store("Mailbox", "Microsoft Exchange Server");
//   ...                                       // see mailbox.h
//   p.add_transport("Internet E-mail", "SMTP", STATUS_AVAILABLE | 0x110000);
//   AbContainer& pab = p.address_book.add_container("Personal Address Book", true);
//   pab.add_entry("Ann", "SMTP", "ann@example.com");
//   install(world);
//
// install() swaps the whole world in one step: build the new one completely
// (a loader validates its input first) and install it only when it is good,
// so nothing half-built is ever seen. Objects handed out earlier keep the
// nodes of the old world alive and go on working on them; new logons and
// lookups see the new world. Objects work on the nodes themselves, so a
// test may also change an installed world directly (through the model's
// methods, or calling touch() after editing a vector) and MAPI sees it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapisim/model/mailbox.h"

// Exported from libmapisim for the loader's users and the tests.
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::model {

// A row of the session's status table besides those the stand-in makes
// itself (the MAPI subsystem, the spooler and one per store).
struct StatusRow {
    std::string display_name;                      // PR_DISPLAY_NAME
    std::string provider_display;                  // PR_PROVIDER_DISPLAY
    ULONG resource_type = MAPI_TRANSPORT_PROVIDER; // PR_RESOURCE_TYPE
    ULONG resource_flags = 0;                      // PR_RESOURCE_FLAGS
    std::optional<ULONG> status_code;              // PR_STATUS_CODE; missing when empty
    PropertyBag props;                             // anything more, returned as it is
};

struct AbEntry {
    std::uint32_t number = 0; // set by AbContainer::add_entry, unique in its container
    // PR_DISPLAY_NAME, PR_ADDRTYPE, PR_EMAIL_ADDRESS, PR_DISPLAY_TYPE
    // (DT_MAILUSER unless set), PR_COMPANY_NAME, PR_GIVEN_NAME ...
    PropertyBag props;
};

struct AbContainer {
    std::uint32_t number = 0; // set by AddressBook::add_container
    std::string display_name;
    PropertyBag props;
    std::vector<AbEntry> entries;

    // An entry (DT_MAILUSER) with PR_DISPLAY_NAME_A, PR_ADDRTYPE_A,
    // PR_EMAIL_ADDRESS_A; add further properties to its bag.
    AbEntry& add_entry(const std::string& name, const std::string& addrtype,
                       const std::string& address);
    const AbEntry* find_entry(std::uint32_t number) const;
};

class AddressBook {
public:
    AddressBook() = default;
    AddressBook(const AddressBook&) = delete;
    AddressBook& operator=(const AddressBook&) = delete;

    // A new container; with is_pab it becomes the personal address book
    // that GetPAB names.
    AbContainer& add_container(const std::string& display_name, bool is_pab = false);
    const std::vector<std::shared_ptr<AbContainer>>& containers() const noexcept
    {
        return containers_;
    }
    std::uint32_t pab = 0; // container number of the PAB; 0 = none

    std::shared_ptr<AbContainer> find_container(std::uint32_t number) const;

private:
    std::vector<std::shared_ptr<AbContainer>> containers_;
    std::uint32_t next_ = 1;
};

class World;

class Profile {
public:
    Profile(World& world, std::string name, bool is_default)
        : name(std::move(name)), is_default(is_default), world_(&world)
    {}
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    std::string name;
    bool is_default = false; // PR_DEFAULT_PROFILE

    // The spooler's row: present unless has_spooler is false.
    bool has_spooler = true;
    ULONG spooler_status = STATUS_AVAILABLE;

    std::vector<std::shared_ptr<Store>> stores; // in store-table order
    std::vector<StatusRow> status_rows;         // transports and others
    AddressBook address_book;

    // A store numbered uniquely within the world, appended to stores.
    std::shared_ptr<Store> add_store(const std::string& display_name,
                                     const std::string& provider_display);
    StatusRow& add_transport(const std::string& display_name, const std::string& provider_display,
                             std::optional<ULONG> status_code);

    std::shared_ptr<Store> find_store(std::uint32_t number) const;

private:
    World* world_;
};

// Settings of a run: tests change them through mapisim.h; a loaded
// mailbox file may set them too.
struct Settings {
    // GetProps gives text and binary values larger than this (in bytes, as
    // Value::payload_size counts) as PT_ERROR MAPI_E_NOT_ENOUGH_MEMORY;
    // OpenProperty still reads them whole.
    std::uint32_t getprops_limit = 32 * 1024;
    // Most rows one QueryRows call returns; 0 = no cap.
    std::uint32_t queryrows_cap = 0;
    // Tables hand out short-term entry identifiers (flags byte non-zero);
    // PR_ENTRYID read from an object is always long-term.
    bool short_term_ids_in_tables = true;
};

// What "the user" does when the stand-in would show a dialog.
struct Script {
    // MAPILogonEx asking for a profile: empty = the user takes the default
    // profile (cancels when there is none); "" = the user cancels
    // (MAPI_E_USER_CANCEL); otherwise the profile the user picks.
    std::optional<std::string> logon_choice;
    HRESULT show_form_result = S_OK;      // IMAPISession::ShowForm
    HRESULT address_dialog_result = S_OK; // IAddrBook::Address
};

class World {
public:
    World() = default;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    std::vector<std::shared_ptr<Profile>> profiles;
    Settings settings;
    Script script;

    Profile& add_profile(const std::string& name, bool is_default = false);
    // By name without regard to case; nullptr when unknown.
    std::shared_ptr<Profile> find_profile(const std::string& name) const;
    // The first profile flagged default, or nullptr.
    std::shared_ptr<Profile> default_profile() const;

    std::uint32_t allocate_store_number() noexcept { return next_store_++; }

private:
    std::uint32_t next_store_ = 1;
};

// The installed world; an empty one (no profiles) until something installs
// another. Never null.
World& current();
std::shared_ptr<World> current_ptr();
// Replaces the installed world in one step (null installs an empty one).
void install(std::shared_ptr<World> world);

} // namespace mapisim::model

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
