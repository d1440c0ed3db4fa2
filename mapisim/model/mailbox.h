// Stores, folders, messages, recipients and attachments of the mailbox model.
//
// Building a store (see world.h for profiles and the world):
//
//   auto store = profile.add_store("Personal Folders", "Personal Folders");
//   auto top   = store->add_folder(*store->root(), "Top of Personal Folders");
//   store->ipm_subtree = top->number();
//   auto inbox = store->add_folder(*top, "Inbox", "IPF.Note");
//   store->set_receive_folder("", *inbox);              // "" = default class
//   auto msg = store->add_message(*inbox);
//   msg->props.set(Value::string8(PR_SUBJECT_A, "Hello"));
//   msg->props.set(Value::string8(store->named_tag(
//       NamedId::by_lid(PSETID_Common, 0x8530), PT_STRING8), "Follow up"));
//   msg->add_recipient(MAPI_TO, "Ann", "SMTP", "ann@example.com");
//   msg->add_attachment(Attachment::by_value("a.txt", Bytes{'h', 'i'}));
//
// Folders and messages are shared_ptr nodes: objects handed out by the
// stand-in keep the nodes they work on alive, so a node removed from the
// tree (or a whole world replaced) never dangles. Numbers identify folders
// and messages within their store (entry identifiers carry them); the store
// hands them out, so change the tree only through Store's methods.
// Properties the stand-in computes (PR_ENTRYID, PR_PARENT_ENTRYID,
// PR_CONTENT_COUNT, PR_SUBFOLDERS, PR_FOLDER_TYPE, PR_MESSAGE_SIZE,
// PR_HASATTACH, PR_ACCESS, PR_OBJECT_TYPE ...) need not be set.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "mapisim/model/value.h"

// Exported from libmapisim for the loader's users and the tests.
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::model {

class Message;
class Folder;

// Supplies a folder's messages the first time anything asks for them, so a
// store read from a large file (a PST) holds only the folders explored.
class MessageSource {
public:
    virtual ~MessageSource() = default;
    // Adds the folder's messages through Store::attach_message. Must not
    // throw: a message that cannot be read is left out.
    virtual void load(Folder& folder) noexcept = 0;
};

struct Recipient {
    PropertyBag props; // PR_RECIPIENT_TYPE, PR_DISPLAY_NAME, PR_ADDRTYPE, PR_EMAIL_ADDRESS ...
};

struct Attachment {
    ULONG number = 0;  // PR_ATTACH_NUM; set by Message::add_attachment
    PropertyBag props; // PR_ATTACH_METHOD, file names, PR_ATTACH_DATA_BIN (by value) ...
    std::shared_ptr<Message> embedded; // PR_ATTACH_DATA_OBJ when the method is ATTACH_EMBEDDED_MSG

    // ATTACH_BY_VALUE with PR_ATTACH_DATA_BIN, PR_ATTACH_FILENAME_A,
    // PR_ATTACH_LONG_FILENAME_A, PR_DISPLAY_NAME_A and PR_ATTACH_SIZE.
    static Attachment by_value(const std::string& filename, Bytes data);
    // ATTACH_BY_REFERENCE with PR_ATTACH_PATHNAME_A and the file name.
    static Attachment by_reference(const std::string& path);
    // ATTACH_EMBEDDED_MSG; the display name is the message's subject.
    static Attachment embedded_message(std::shared_ptr<Message> msg);
};

class Message : public std::enable_shared_from_this<Message> {
public:
    PropertyBag props;
    std::vector<Recipient> recipients; // PR_ROWID is the position
    std::vector<Attachment> attachments;
    bool associated = false; // folder-associated ("hidden") message

    // Adds a recipient of the given type (MAPI_TO, MAPI_CC, MAPI_BCC).
    Recipient& add_recipient(ULONG type, const std::string& name, const std::string& addrtype,
                             const std::string& address);
    // Appends the attachment with the next free number, which it returns.
    ULONG add_attachment(Attachment a);
    Attachment* find_attachment(ULONG number);

    // 0 for a message not yet placed in a store (an embedded one, or one
    // built on its own).
    std::uint32_t number() const noexcept { return number_; }
    std::shared_ptr<Folder> parent() const { return parent_.lock(); }

    // A deep copy (embedded messages included) without number or parent.
    std::shared_ptr<Message> clone() const;

private:
    friend class Store;
    std::uint32_t number_ = 0;
    std::weak_ptr<Folder> parent_;
    const Folder* parent_at_ = nullptr; // parent_'s address, for Store::contains
    ULONG next_attach_ = 0;
};

class Folder : public std::enable_shared_from_this<Folder> {
public:
    PropertyBag props;                  // PR_DISPLAY_NAME, PR_CONTAINER_CLASS, PR_COMMENT ...
    ULONG folder_type = FOLDER_GENERIC; // FOLDER_ROOT for a store's root

    std::uint32_t number() const noexcept { return number_; }
    std::shared_ptr<Folder> parent() const { return parent_.lock(); }
    const std::vector<std::shared_ptr<Folder>>& subfolders() const noexcept { return subfolders_; }
    // Normal and associated messages, in the order they were added. The
    // first call on a folder with a message source reads them in.
    const std::vector<std::shared_ptr<Message>>& messages() const
    {
        if (source_) load_messages();
        return messages_;
    }
    // Messages come from source when first asked for (replacing any source).
    void set_message_source(std::shared_ptr<MessageSource> source) { source_ = std::move(source); }
    bool messages_pending() const noexcept { return source_ != nullptr; }

    // PR_CONTENT_COUNT, PR_ASSOC_CONTENT_COUNT and PR_CONTENT_UNREAD (a
    // normal message whose PR_MESSAGE_FLAGS lacks MSGFLAG_READ). Counted
    // once per model generation: walking the hierarchy reads them for every
    // folder, and a large folder would make each walk cost its size.
    struct MessageCounts {
        ULONG normal = 0, associated = 0, unread = 0;
    };
    MessageCounts message_counts() const;

    std::string display_name() const; // "" when unset

    // A deep copy (messages, and subfolders when asked) without numbers or
    // parent, ready for Store::attach_folder.
    std::shared_ptr<Folder> clone(bool with_subfolders) const;
    // The subfolder whose display name equals name without regard to case.
    std::shared_ptr<Folder> find_subfolder(const std::string& name) const;

private:
    friend class Store;
    void load_messages() const;

    std::uint32_t number_ = 0;
    std::weak_ptr<Folder> parent_;
    const Folder* parent_at_ = nullptr; // parent_'s address, for Store::contains
    std::vector<std::shared_ptr<Folder>> subfolders_;
    std::vector<std::shared_ptr<Message>> messages_;
    mutable std::shared_ptr<MessageSource> source_;
    mutable MessageCounts counts_;
    mutable std::uint64_t counts_generation_ = 0; // 0: not counted yet
};

class Store {
public:
    // Use Profile::add_store, which numbers stores uniquely in the world.
    Store(std::uint32_t number, std::string display_name, std::string provider_display);
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    std::uint32_t number() const noexcept { return number_; }

    std::string display_name;     // PR_DISPLAY_NAME
    std::string provider_display; // PR_PROVIDER_DISPLAY in the store table
    bool is_default = false;      // PR_DEFAULT_STORE
    ULONG resource_flags = 0; // PR_RESOURCE_FLAGS (STATUS_DEFAULT_STORE, STATUS_PRIMARY_STORE ...)
    PropertyBag props;        // further store properties, returned as they are

    // Special folders by number; 0 = the store has none (its property is
    // then missing from GetProps).
    std::uint32_t ipm_subtree = 0;  // PR_IPM_SUBTREE_ENTRYID
    std::uint32_t outbox = 0;       // PR_IPM_OUTBOX_ENTRYID
    std::uint32_t wastebasket = 0;  // PR_IPM_WASTEBASKET_ENTRYID
    std::uint32_t sentmail = 0;     // PR_IPM_SENTMAIL_ENTRYID
    std::uint32_t views = 0;        // PR_VIEWS_ENTRYID
    std::uint32_t common_views = 0; // PR_COMMON_VIEWS_ENTRYID
    std::uint32_t finder = 0;       // PR_FINDER_ENTRYID

    NameMap names;

    // The tag of a named property in this store: its identifier (mapped
    // now if new) with the given type; PR_NULL when the map is full.
    ULONG named_tag(const NamedId& name, ULONG type);

    // The root folder (FOLDER_ROOT), created with the store.
    const std::shared_ptr<Folder>& root() const noexcept { return root_; }

    // Creates a folder under parent and returns it. The name is not checked
    // for collisions here; the MAPI objects check them.
    std::shared_ptr<Folder> add_folder(Folder& parent, const std::string& name,
                                       const std::string& container_class = "");
    // Creates an empty message in folder (not yet holding properties).
    std::shared_ptr<Message> add_message(Folder& folder, bool associated = false);

    // Links a node made elsewhere (a clone, or a message being saved for the
    // first time) under parent, numbering it and everything below it that
    // has no number yet.
    void attach_message(Folder& parent, std::shared_ptr<Message> msg);
    void attach_folder(Folder& parent, std::shared_ptr<Folder> folder);
    // Takes the node out of its parent; it keeps its number. False if it was
    // not there.
    bool detach_message(Message& msg);
    bool detach_folder(Folder& folder);

    // Nodes currently in this store's tree, by number; nullptr otherwise.
    std::shared_ptr<Folder> find_folder(std::uint32_t number) const;
    std::shared_ptr<Message> find_message(std::uint32_t number) const;
    bool contains(const Folder& f) const;
    bool contains(const Message& m) const;

    // Receive folders by message class. The class "" is the default; a
    // lookup takes the longest registered class that is a prefix of the
    // asked one at a '.' boundary, compared without regard to case.
    void set_receive_folder(const std::string& message_class, const Folder& folder);
    // The folder number and the class that matched; number 0 when none.
    std::pair<std::uint32_t, std::string> receive_folder(const std::string& message_class) const;

    std::uint32_t allocate_number() noexcept { return next_number_++; }

private:
    void index(const std::shared_ptr<Folder>& f);
    void index(const std::shared_ptr<Message>& m);
    void reindex() const;

    std::uint32_t number_;
    std::uint32_t next_number_ = 1;
    std::shared_ptr<Folder> root_;
    std::map<std::string, std::uint32_t> receive_;     // class folded to lower case
    std::map<std::string, std::string> receive_names_; // folded -> as given
    // By number, hashed: opening a message of a large store is one look-up.
    mutable std::unordered_map<std::uint32_t, std::weak_ptr<Folder>> folders_;
    mutable std::unordered_map<std::uint32_t, std::weak_ptr<Message>> messages_;
};

// Lower-case folding of 8-bit text as used for the case-insensitive
// comparisons of names (ASCII and the letters of code page 1252).
std::string fold_case(std::string_view s);
bool equal_nocase(std::string_view a, std::string_view b);

} // namespace mapisim::model

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
