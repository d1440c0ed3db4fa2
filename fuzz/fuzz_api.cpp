// libFuzzer target: sequences of export calls on the sample mailbox, as an
// application might make them, with fuzzed sizes, indices, flags, texts and
// entry identifiers, and now and then a MAPI call or allocation made to
// fail. Handles are only ever ones the library handed out (or null): what a
// call hands out goes into a pool that later calls draw from, and everything
// is released at the end of the sequence. Then the stand-in's live objects,
// MAPI allocations, local allocations and registry handles are back where
// they started, with no call on a dead object and no bad free; anything else
// traps.
//
// Input: a stream of operations, each a byte choosing the export followed by
// the bytes its arguments take. Buffers are heap blocks of exactly the size
// passed, so that the sanitizers catch a write past them.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "OrviMapi.h"
#include "frame/last_error.h"
#include "frame/platform.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/value.h"
#include "session/profiles.h"
#include "session/session_state.h"
#include "stores/named_props.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The kinds of table; a row set is only read by the readers of its kind.
enum Kind {
    kStoreTable,
    kHierarchy,
    kContents,
    kRecipients,
    kAttachments,
    kAddressBook,
    kContacts,
    kKinds
};

struct StoreSink {
    OrviMapiStore store;
    int32_t connection;
    OrviMapiSink sink;
};
struct TableSink {
    OrviMapiTable table;
    int32_t connection;
    OrviMapiSink sink;
};
struct FolderProps {
    OrviMapiFolder folder;
    OrviMapiProps props;
};
struct MessageProps {
    OrviMapiMessage message;
    OrviMapiProps props;
};

struct Pool {
    std::vector<OrviMapiStore> stores;
    std::vector<OrviMapiFolder> folders;
    std::vector<OrviMapiMessage> messages;
    std::vector<OrviMapiAttach> attachments;
    std::vector<OrviMapiStream> streams;
    std::vector<OrviMapiABContainer> containers;
    std::vector<OrviMapiTable> tables[kKinds];
    std::vector<OrviMapiRowSet> rows[kKinds];
    std::vector<FolderProps> folderProps;
    std::vector<MessageProps> messageProps;
    std::vector<StoreSink> storeSinks;
    std::vector<TableSink> tableSinks;
    // Entry identifiers seen in rows and records, copied.
    std::vector<Bytes> storeIds, folderIds, messageIds, contactIds;
};

std::string& SampleText()
{
    static std::string text;
    return text;
}

// Reads what MAPI hands it, so that the sanitizers check those bytes.
int32_t ORVIMAPI_CALLBACK Notified(OrviMapiStore* store, uintptr_t, int32_t, int32_t,
                                   uint32_t entryIdSize, unsigned char** entryId,
                                   uint32_t parentIdSize, unsigned char** parentId,
                                   uint32_t oldIdSize, unsigned char** oldId,
                                   uint32_t oldParentIdSize, unsigned char** oldParentId)
{
    volatile unsigned sum = store != nullptr && *store != nullptr;
    const auto touch = [&sum](uint32_t size, unsigned char** bytes) {
        if (size > 0 && bytes != nullptr && *bytes != nullptr)
            for (uint32_t i = 0; i < size; ++i) sum = sum + (*bytes)[i];
    };
    touch(entryIdSize, entryId);
    touch(parentIdSize, parentId);
    touch(oldIdSize, oldId);
    touch(oldParentIdSize, oldParentId);
    return 0;
}

class Sequence {
public:
    explicit Sequence(FuzzedDataProvider& input) : in_(input) {}
    ~Sequence() { ReleaseAll(); }

    bool InitializeCalled() const { return initializeCalled_; }

    void Run()
    {
        for (int step = 0; step < 64 && in_.remaining_bytes() > 0; ++step)
            Step(in_.ConsumeIntegral<uint8_t>());
    }

private:
    // A handle of the pool, or now and then null, which every export here
    // refuses cleanly.
    template <class T>
    T Pick(const std::vector<T>& pool)
    {
        if (pool.empty() || in_.ConsumeIntegralInRange<int>(0, 15) == 0) return T{};
        return pool[in_.ConsumeIntegralInRange<size_t>(0, pool.size() - 1)];
    }

    template <class T>
    void Keep(std::vector<T>& pool, T handle)
    {
        if (handle != T{}) pool.push_back(handle);
    }

    // An entry identifier: one seen, one cut or changed, arbitrary bytes or none.
    Bytes EntryId(const std::vector<Bytes>& seen)
    {
        const int how = in_.ConsumeIntegralInRange<int>(0, 7);
        if (how <= 3 && !seen.empty()) {
            Bytes id = seen[in_.ConsumeIntegralInRange<size_t>(0, seen.size() - 1)];
            if (how == 2 && !id.empty())
                id.resize(in_.ConsumeIntegralInRange<size_t>(0, id.size()));
            if (how == 3 && !id.empty())
                id[in_.ConsumeIntegralInRange<size_t>(0, id.size() - 1)] ^=
                    in_.ConsumeIntegral<uint8_t>();
            return id;
        }
        if (how == 7) return {};
        return in_.ConsumeBytes<unsigned char>(in_.ConsumeIntegralInRange<size_t>(0, 80));
    }

    // A count that is usually the real one and sometimes a lie about it:
    // zero or negative, never more than the bytes there are.
    int32_t Count(const Bytes& id)
    {
        switch (in_.ConsumeIntegralInRange<int>(0, 7)) {
            case 0:
                return 0;
            case 1:
                return -static_cast<int32_t>(in_.ConsumeIntegral<uint8_t>());
            default:
                return static_cast<int32_t>(id.size());
        }
    }
    // An unsigned count is never a lie past the bytes.
    uint32_t UnsignedCount(const Bytes& id) { return std::max<int32_t>(Count(id), 0); }
    static const unsigned char* Data(const Bytes& id) { return id.empty() ? nullptr : id.data(); }

    std::string Text() { return in_.ConsumeRandomLengthString(300); }
    // A text or, now and then, null.
    const char* TextOrNull(std::string& text)
    {
        text = Text();
        return in_.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : text.c_str();
    }

    uint32_t BufferSize() { return in_.ConsumeIntegralInRange<uint32_t>(1, 300); }

    static void Remember(std::vector<Bytes>& seen, uint32_t size, const unsigned char* bytes)
    {
        if (bytes != nullptr && size > 0 && size < 4096 && seen.size() < 64)
            seen.emplace_back(bytes, bytes + size);
    }

    OrviMapiEntryList* EntryList(std::vector<OrviMapiBinary>& entries, std::vector<Bytes>& ids)
    {
        const size_t count = in_.ConsumeIntegralInRange<size_t>(0, 4);
        for (size_t i = 0; i < count; ++i) ids.push_back(EntryId(pool_.messageIds));
        for (Bytes& id : ids)
            entries.push_back({static_cast<uint32_t>(id.size()), id.empty() ? nullptr : id.data()});
        list_.count = static_cast<uint32_t>(entries.size());
        list_.entries = entries.empty() ? nullptr : entries.data();
        return in_.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : &list_;
    }

    // A contact's texts: each given or null.
    ContactRecord Contact(std::vector<std::string>& texts)
    {
        ContactRecord record;
        std::memset(&record, 0, sizeof record);
        char** fields[] = {
            &record.subject,           &record.displayName,       &record.company,
            &record.givenName,         &record.surname,           &record.email1AddressType,
            &record.email1Address,     &record.email2AddressType, &record.email2Address,
            &record.email3AddressType, &record.email3Address,     &record.fileUnder};
        texts.reserve(std::size(fields));
        for (char** field : fields) {
            if (!in_.ConsumeBool()) continue;
            texts.push_back(Text());
            *field = texts.back().data();
        }
        return record;
    }

    void Step(uint8_t op)
    {
        switch (op % 64) {
            case 0: {
                std::string profile;
                OrviMapiStart(TextOrNull(profile), in_.ConsumeIntegralInRange<int32_t>(0, 1));
                break;
            }
            case 1:
                OrviMapiStop();
                break;
            case 2: {
                OrviMapiTable table = nullptr;
                OrviMapiMsgStoreQuerySet(&table, in_.ConsumeIntegralInRange<int32_t>(-1, 2));
                Keep(pool_.tables[kStoreTable], table);
                break;
            }
            case 3:
                ReadRows(kStoreTable);
                break;
            case 4: {
                OrviMapiRowSet rows = Pick(pool_.rows[kStoreTable]);
                OrviMapiStore store = nullptr;
                OrviMapiMsgStoreResultOpenStore(rows, &store);
                Keep(pool_.stores, store);
                std::vector<char> buf(BufferSize());
                OrviMapiMsgStoreResultGetDisplayName(rows, static_cast<uint32_t>(buf.size()),
                                                     buf.data());
                int32_t value = 0;
                OrviMapiMsgStoreResultGetDefaultFlag(rows, &value);
                OrviMapiMsgStoreResultGetMsgStoreType(rows, &value);
                uint32_t cb = 0;
                unsigned char* bytes = nullptr;
                if (OrviMapiMsgStoreResultGetEID(rows, &cb, &bytes) == 0)
                    Remember(pool_.storeIds, cb, bytes);
                OrviMapiBinary binary{};
                if (OrviMapiMsgStoreResultGetEIDParam(rows, &binary) == 0)
                    Remember(pool_.storeIds, binary.size, binary.bytes);
                break;
            }
            case 5: {
                OrviMapiStore store = Pick(pool_.stores);
                OrviMapiFolder folder = nullptr;
                unsigned char eid[256];
                uint32_t cb = 0;
                if (OrviMapiMsgStoreGetRootFolder(store, &folder, &cb, eid) == 0)
                    Remember(pool_.folderIds, cb, eid);
                Keep(pool_.folders, folder);
                break;
            }
            case 6: {
                const Bytes id = EntryId(pool_.folderIds);
                OrviMapiFolder folder = nullptr;
                if (in_.ConsumeBool())
                    OrviMapiMsgStoreGetFolderInterface(Pick(pool_.stores), Count(id), Data(id),
                                                       &folder);
                else
                    OrviMapiMsgStoreGetFolderParentInterface(Pick(pool_.stores), Count(id),
                                                             Data(id), &folder);
                Keep(pool_.folders, folder);
                break;
            }
            case 7: {
                const Bytes id = EntryId(pool_.messageIds);
                OrviMapiMessage message = nullptr;
                OrviMapiMsgStoreGetMsgInterface(Pick(pool_.stores), Count(id), Data(id), &message);
                Keep(pool_.messages, message);
                break;
            }
            case 8: {
                const Bytes id = EntryId(pool_.storeIds);
                OrviMapiStore store = nullptr;
                OrviMapiMsgStoreGetMsgStoreInterface(Count(id), Data(id), &store);
                Keep(pool_.stores, store);
                break;
            }
            case 9: {
                OrviMapiFolder folder = nullptr;
                OrviMapiFolderFindByType(Pick(pool_.stores),
                                         in_.ConsumeIntegralInRange<int32_t>(-1, 64), &folder);
                Keep(pool_.folders, folder);
                break;
            }
            case 10: {
                OrviMapiTable table = nullptr;
                OrviMapiFolderHierQuerySet(Pick(pool_.folders), &table);
                Keep(pool_.tables[kHierarchy], table);
                break;
            }
            case 11:
                ReadRows(kHierarchy);
                break;
            case 12: {
                OrviMapiRowSet rows = Pick(pool_.rows[kHierarchy]);
                uint32_t cb = 0, value = 0;
                unsigned char* bytes = nullptr;
                if (OrviMapiFolderHierGetEID(rows, &cb, &bytes) == 0)
                    Remember(pool_.folderIds, cb, bytes);
                std::vector<char> buf(BufferSize());
                OrviMapiFolderHierGetDisplayName(rows, static_cast<uint32_t>(buf.size()),
                                                 buf.data());
                OrviMapiFolderHierGetContentCount(rows, &value);
                OrviMapiFolderHierGetSubFolderFlag(rows, &value);
                OrviMapiFolderHierGetArchiveFlag(rows);
                break;
            }
            case 13: {
                OrviMapiTable table = nullptr;
                OrviMapiFolderContQuerySet(Pick(pool_.folders), &table);
                Keep(pool_.tables[kContents], table);
                break;
            }
            case 14:
                ReadRows(kContents);
                break;
            case 15: {
                OrviMapiRowSet rows = Pick(pool_.rows[kContents]);
                const uint32_t index = in_.ConsumeIntegralInRange<uint32_t>(0, 120);
                FolderContentsRecord record;
                std::memset(&record, 0xA5, sizeof record);
                if (OrviMapiFolderContReadParam(rows, index, &record) == 0)
                    Remember(pool_.messageIds, record.entryIdSize, record.entryId);
                uint32_t cb = 0;
                unsigned char* bytes = nullptr;
                if (OrviMapiFolderContGetEID(rows, index, &cb, &bytes) == 0)
                    Remember(pool_.messageIds, cb, bytes);
                std::vector<char> buf(BufferSize());
                const uint32_t size = static_cast<uint32_t>(buf.size());
                OrviMapiFolderContGetMsgSenderName(rows, size, index, buf.data());
                OrviMapiFolderContGetMsgSenderEmailAddress(rows, size, index, buf.data());
                OrviMapiFolderContGetMsgSubject(rows, size, buf.data());
                OrviMapiFolderContGetDisplayTo(rows, size, buf.data());
                OrviMapiFolderContGetMsgClass(rows, size, buf.data());
                char time[16];
                OrviMapiFolderContGetMsgDeliveryTime(rows, time);
                OrviMapiSystemTime modified;
                OrviMapiFolderContGetMsgModifyTime(rows, &modified);
                OrviMapiFolderContGetMsgSize(rows, &cb);
                OrviMapiFolderContGetHasAttachFlag(rows, &cb);
                break;
            }
            case 16: {
                const Bytes id = EntryId(pool_.messageIds);
                OrviMapiMessage message = nullptr;
                OrviMapiMsgGet(Pick(pool_.folders), UnsignedCount(id), Data(id), &message);
                Keep(pool_.messages, message);
                break;
            }
            case 17: {
                OrviMapiMessage message = Pick(pool_.messages);
                OrviMapiProps props = nullptr;
                if (OrviMapiMsgPropsGet(message, &props) != 0 || props == nullptr) break;
                pool_.messageProps.push_back({message, props});
                MsgPropsRecord record;
                std::memset(&record, 0xA5, sizeof record);
                OrviMapiMsgPropsRead(message, props, &record);
                MsgAddrRecord address;
                std::memset(&address, 0xA5, sizeof address);
                OrviMapiMsgAddrFromGet(message, props, &address);
                OrviMapiMsgAddrSenderGet(message, props, &address);
                break;
            }
            case 18: {
                OrviMapiMessage message = Pick(pool_.messages);
                OrviMapiStream stream = nullptr;
                uint32_t size = 0;
                switch (in_.ConsumeIntegralInRange<int>(0, 2)) {
                    case 0:
                        OrviMapiMsgGetBodyRTFStream(message, &stream, &size);
                        break;
                    case 1:
                        OrviMapiMsgGetBodyTextStream(message, &stream);
                        break;
                    default:
                        OrviMapiMsgGetBodyHTMLStream(message, in_.ConsumeIntegral<int32_t>(),
                                                     &stream);
                        break;
                }
                Keep(pool_.streams, stream);
                break;
            }
            case 19: {
                std::vector<char> buf(BufferSize());
                OrviMapiMsgGetBodyText(Pick(pool_.messages), static_cast<uint32_t>(buf.size()),
                                       buf.data());
                break;
            }
            case 20:
                ReadStream();
                break;
            case 21: {
                OrviMapiTable table = nullptr;
                OrviMapiMsgAddrOtherQuerySet(Pick(pool_.messages), &table);
                Keep(pool_.tables[kRecipients], table);
                break;
            }
            case 22:
                ReadRows(kRecipients);
                break;
            case 23: {
                MsgAddrRecord record;
                std::memset(&record, 0xA5, sizeof record);
                OrviMapiMsgAddrOtherGetParam(Pick(pool_.rows[kRecipients]), &record);
                OrviMapiMsgAddrOtherGetRowCount(Pick(pool_.tables[kRecipients]));
                break;
            }
            case 24: {
                OrviMapiTable table = nullptr;
                OrviMapiMsgAttachQuerySet(Pick(pool_.messages), &table);
                Keep(pool_.tables[kAttachments], table);
                break;
            }
            case 25:
                ReadRows(kAttachments);
                break;
            case 26: {
                MsgAttachRecord record;
                std::memset(&record, 0xA5, sizeof record);
                OrviMapiMsgAttachGetParam(Pick(pool_.rows[kAttachments]),
                                          in_.ConsumeIntegralInRange<uint32_t>(0, 8), &record);
                OrviMapiMsgAttachGetRowCount(Pick(pool_.tables[kAttachments]));
                break;
            }
            case 27: {
                OrviMapiAttach attach = nullptr;
                OrviMapiMsgAttachOpen(Pick(pool_.messages),
                                      in_.ConsumeIntegralInRange<uint32_t>(0, 8), &attach);
                Keep(pool_.attachments, attach);
                break;
            }
            case 28: {
                OrviMapiAttach attach = Pick(pool_.attachments);
                OrviMapiStream stream = nullptr;
                OrviMapiMessage embedded = nullptr;
                if (in_.ConsumeBool())
                    OrviMapiMsgAttachGetStream(attach, &stream);
                else
                    OrviMapiMsgAttachGetEmbeddedMsg(attach, &embedded);
                Keep(pool_.streams, stream);
                Keep(pool_.messages, embedded);
                break;
            }
            case 29: {
                OrviMapiFolder folder = Pick(pool_.folders);
                OrviMapiProps props = nullptr;
                if (OrviMapiFolderPropsGet(folder, &props) != 0 || props == nullptr) break;
                pool_.folderProps.push_back({folder, props});
                FolderPropsRecord record;
                std::memset(&record, 0xA5, sizeof record);
                if (OrviMapiFolderPropsRead(folder, props, &record) == 0)
                    Remember(pool_.folderIds, record.entryIdSize, record.entryId);
                break;
            }
            case 30: {
                const Bytes id = EntryId(pool_.folderIds);
                OrviMapiStore store = Pick(pool_.stores);
                OrviMapiFolderGetFolderType(store, Count(id), Data(id));
                std::vector<char> buf(BufferSize());
                uint32_t length = 0;
                OrviMapiFolderGetDisplayName(store, Count(id), Data(id), buf.data(),
                                             static_cast<uint32_t>(buf.size()), &length);
                break;
            }
            case 31: {
                const Bytes id = EntryId(pool_.messageIds);
                OrviMapiStore store = Pick(pool_.stores);
                std::vector<char> buf(BufferSize());
                uint32_t length = 0;
                if (in_.ConsumeBool())
                    OrviMapiMsgGetSubject(store, Count(id), Data(id), buf.data(),
                                          static_cast<uint32_t>(buf.size()), &length);
                else
                    OrviMapiFolderGetMsgSubject(store, Count(id), Data(id), buf.data(),
                                                static_cast<uint32_t>(buf.size()), &length);
                break;
            }
            case 32: {
                const Bytes id = EntryId(in_.ConsumeBool() ? pool_.messageIds : pool_.folderIds);
                const int32_t maxLength = in_.ConsumeIntegralInRange<int32_t>(0, 300);
                // A walk may go on from what path already holds.
                std::vector<char> path(static_cast<size_t>(maxLength) + 1, 'p');
                int32_t pathLength = in_.ConsumeIntegralInRange<int32_t>(0, maxLength);
                path[static_cast<size_t>(pathLength)] = '\0';
                if (in_.ConsumeBool()) pathLength = 0;
                int32_t status = 0;
                const std::string separator = in_.ConsumeRandomLengthString(3);
                OrviMapiMsgGetFolderPath(Pick(pool_.stores), UnsignedCount(id), Data(id),
                                         separator.c_str(), path.data(), maxLength, &pathLength,
                                         &status);
                break;
            }
            case 33: {
                const Bytes store = EntryId(pool_.storeIds), parent = EntryId(pool_.folderIds);
                std::string name;
                OrviMapiFolder folder = nullptr;
                OrviMapiFolderNew(Count(store), Data(store), Count(parent), Data(parent),
                                  TextOrNull(name), &folder);
                Keep(pool_.folders, folder);
                break;
            }
            case 34: {
                const Bytes store = EntryId(pool_.storeIds), source = EntryId(pool_.folderIds),
                            target = EntryId(pool_.folderIds);
                OrviMapiFolderCopy(Count(store), Data(store), Count(source), Data(source),
                                   Count(target), Data(target),
                                   in_.ConsumeIntegralInRange<int32_t>(-1, 2));
                break;
            }
            case 35: {
                const Bytes store = EntryId(pool_.storeIds), folder = EntryId(pool_.folderIds);
                switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
                    case 0:
                        OrviMapiFolderRecycle(Count(store), Data(store), Count(folder),
                                              Data(folder));
                        break;
                    case 1:
                        OrviMapiFolderDelete(Count(store), Data(store), Count(folder),
                                             Data(folder));
                        break;
                    case 2:
                        OrviMapiFolderEmpty(Count(store), Data(store), Count(folder), Data(folder));
                        break;
                    default: {
                        std::string name;
                        OrviMapiFolderRename(Count(store), Data(store), Count(folder), Data(folder),
                                             TextOrNull(name));
                    }
                }
                break;
            }
            case 36: {
                OrviMapiFolder parent = Pick(pool_.folders);
                std::string name;
                OrviMapiFolder folder = nullptr;
                if (in_.ConsumeBool())
                    OrviMapiFolderAdd(parent, TextOrNull(name), &folder);
                else
                    OrviMapiFolderSetDisplayName(parent, TextOrNull(name));
                Keep(pool_.folders, folder);
                break;
            }
            case 37: {
                const Bytes store = EntryId(pool_.storeIds), source = EntryId(pool_.folderIds),
                            target = EntryId(pool_.folderIds);
                std::vector<OrviMapiBinary> entries;
                std::vector<Bytes> ids;
                const OrviMapiEntryList* list = EntryList(entries, ids);
                switch (in_.ConsumeIntegralInRange<int>(0, 6)) {
                    case 0:
                        OrviMapiMsgCopy(Count(store), Data(store), Count(source), Data(source),
                                        Count(target), Data(target), list);
                        break;
                    case 1:
                        OrviMapiMsgMove(Count(store), Data(store), Count(source), Data(source),
                                        Count(target), Data(target), list);
                        break;
                    case 2:
                        OrviMapiMsgDelete(Count(store), Data(store), Count(source), Data(source),
                                          list);
                        break;
                    case 3:
                        OrviMapiMsgRecycle(Count(store), Data(store), Count(source), Data(source),
                                           list);
                        break;
                    case 4:
                        OrviMapiMsgRecycle2(Count(store), Data(store), Count(source), Data(source),
                                            list);
                        break;
                    case 5: {
                        std::string text;
                        OrviMapiMsgSetTag(Count(store), Data(store), Count(source), Data(source),
                                          list, in_.ConsumeIntegralInRange<int32_t>(-1, 3),
                                          TextOrNull(text));
                        break;
                    }
                    default:
                        OrviMapiMsgSetUnread(Count(store), Data(store), Count(source), Data(source),
                                             list, in_.ConsumeIntegralInRange<int32_t>(-1, 2));
                }
                break;
            }
            case 38: {
                const Bytes id = EntryId(pool_.messageIds);
                OrviMapiStore store = Pick(pool_.stores);
                std::string text;
                switch (in_.ConsumeIntegralInRange<int>(0, 2)) {
                    case 0:
                        OrviMapiMsgUpdateMsgFlag(store, Count(id), Data(id),
                                                 in_.ConsumeIntegralInRange<int32_t>(-1, 3),
                                                 TextOrNull(text));
                        break;
                    case 1:
                        OrviMapiMsgUpdateMsgFlagText(store, Count(id), Data(id), TextOrNull(text));
                        break;
                    default:
                        OrviMapiMsgUpdateReadFlag(store, Count(id), Data(id),
                                                  in_.ConsumeIntegralInRange<int32_t>(-1, 2));
                }
                break;
            }
            case 39: {
                const Bytes first = EntryId(pool_.folderIds), second = EntryId(pool_.messageIds);
                int32_t same = 0;
                OrviMapiMsgStoreCompareEntryIds(0, 0, Count(first), Data(first), Count(second),
                                                Data(second), &same);
                unsigned char eid[256];
                uint32_t cb = 0;
                OrviMapiMsgStoreReadLongTermEntryId(Count(first), Data(first), &cb, eid);
                break;
            }
            case 40: {
                OrviMapiStore store = Pick(pool_.stores);
                std::vector<char> buf(BufferSize());
                OrviMapiMsgStoreGetDisplayName(store, static_cast<uint32_t>(buf.size()),
                                               buf.data());
                unsigned char eid[256];
                uint32_t cb = 0;
                if (OrviMapiMsgStoreGetIPMSubtreeEID(store, &cb, eid) == 0)
                    Remember(pool_.folderIds, cb, eid);
                OrviMapiFolder folder = nullptr;
                OrviMapiGetSaveLocFolder(in_.ConsumeIntegralInRange<int32_t>(-1, 20), store,
                                         &folder);
                Keep(pool_.folders, folder);
                break;
            }
            case 41: {
                std::vector<char> buf(BufferSize());
                uint32_t length = 0;
                const uint32_t size = static_cast<uint32_t>(buf.size());
                OrviMapiGetCurrentProfileName(size, buf.data(), &length);
                OrviMapiGetDefaultProfileName(size, buf.data(), &length);
                OrviMapiGetRegistryDefaultProfileName(size, buf.data(), &length);
                OrviMapiGetClientOutlookVersion();
                OrviMapiSendReceive();
                OrviMapiSession session = nullptr;
                OrviMapiReturnSession(&session);
                break;
            }
            case 42: {
                std::vector<char> buf(BufferSize());
                uint32_t length = 0;
                OrviMapiGetLastError(buf.data(), static_cast<uint32_t>(buf.size()), &length);
                break;
            }
            case 43: {
                OrviMapiTable table = Pick(pool_.tables[kStoreTable]);
                OrviMapiMsgStoreQueryGetRowCount(table);
                OrviMapiMsgStoreQuerySeekBeginning(table);
                break;
            }
            case 44: {
                OrviMapiTable table = nullptr;
                OrviMapiRowSet rows = nullptr;
                const bool hierarchy = in_.ConsumeBool();
                if (hierarchy)
                    OrviMapiFolderHierQueryAll(Pick(pool_.folders), &table, &rows);
                else
                    OrviMapiFolderContQueryAll(Pick(pool_.folders), &table, &rows);
                Keep(pool_.tables[hierarchy ? kHierarchy : kContents], table);
                Keep(pool_.rows[hierarchy ? kHierarchy : kContents], rows);
                break;
            }
            case 45:
                Release();
                break;
            case 46: {
                const Bytes id = EntryId(pool_.folderIds);
                OrviMapiFolder folder = nullptr;
                OrviMapiFolderGet(Pick(pool_.folders), UnsignedCount(id), Data(id), &folder);
                Keep(pool_.folders, folder);
                break;
            }
            case 47: {
                const Bytes id = EntryId(pool_.folderIds);
                OrviMapiFolderDelete2(Pick(pool_.folders), Count(id), Data(id));
                break;
            }
            case 48: {
                OrviMapiStore store = Pick(pool_.stores);
                OrviMapiMessage message = Pick(pool_.messages);
                OrviMapiMsgStoreMsgDelete(store, message);
                break;
            }
            case 49: {
                if (in_.ConsumeBool()) {
                    OrviMapiInitialize();
                    initializeCalled_ = true;
                } else {
                    std::string profile;
                    OrviMapiLogon(TextOrNull(profile), in_.ConsumeIntegralInRange<int32_t>(0, 1));
                }
                break;
            }
            case 50: {
                OrviMapiStore store = Pick(pool_.stores);
                int32_t connection = 0;
                OrviMapiSink sink = nullptr;
                const NotificationCallback callback = in_.ConsumeBool() ? Notified : nullptr;
                if (OrviMapiAdviseMsgStoreCreate(store, in_.ConsumeIntegral<uint8_t>(), callback,
                                                 &connection, &sink) == 0 &&
                    sink != nullptr)
                    pool_.storeSinks.push_back({store, connection, sink});
                break;
            }
            case 51: {
                const Kind kind = static_cast<Kind>(in_.ConsumeIntegralInRange<int>(0, kKinds - 1));
                OrviMapiTable table = Pick(pool_.tables[kind]);
                int32_t connection = 0;
                OrviMapiSink sink = nullptr;
                if (OrviMapiAdviseTableCreate(table, &connection, &sink) == 0 && sink != nullptr)
                    pool_.tableSinks.push_back({table, connection, sink});
                break;
            }
            case 52: {
                // The application's side of a registration is refused when a part
                // is missing, and only then kept for the cleanup.
                if (in_.ConsumeBool()) {
                    if (pool_.storeSinks.empty()) break;
                    const size_t at =
                        in_.ConsumeIntegralInRange<size_t>(0, pool_.storeSinks.size() - 1);
                    const StoreSink& s = pool_.storeSinks[at];
                    if (OrviMapiAdviseMsgStoreDestroy(in_.ConsumeBool() ? s.store : nullptr,
                                                      s.connection, s.sink) == 0)
                        pool_.storeSinks.erase(pool_.storeSinks.begin() +
                                               static_cast<std::ptrdiff_t>(at));
                } else {
                    if (pool_.tableSinks.empty()) break;
                    const size_t at =
                        in_.ConsumeIntegralInRange<size_t>(0, pool_.tableSinks.size() - 1);
                    const TableSink& s = pool_.tableSinks[at];
                    if (OrviMapiAdviseTableDestroy(in_.ConsumeBool() ? s.table : nullptr,
                                                   s.connection, s.sink) == 0)
                        pool_.tableSinks.erase(pool_.tableSinks.begin() +
                                               static_cast<std::ptrdiff_t>(at));
                }
                break;
            }
            case 53: {
                uint32_t cb = 0;
                unsigned char* bytes = nullptr;
                if (OrviMapiABGetEID(&cb, &bytes) == 0 && bytes != nullptr) {
                    Remember(pool_.contactIds, cb, bytes);
                    OrviMapiMsgPropsRelease(nullptr, reinterpret_cast<OrviMapiProps>(bytes));
                }
                const Bytes id = EntryId(pool_.contactIds);
                OrviMapiABContainer container = nullptr;
                OrviMapiABGetFolder(Count(id), Data(id), &container);
                Keep(pool_.containers, container);
                break;
            }
            case 54: {
                OrviMapiTable table = nullptr;
                OrviMapiABContQuerySet(Pick(pool_.containers), &table);
                Keep(pool_.tables[kAddressBook], table);
                break;
            }
            case 55:
                ReadRows(kAddressBook);
                break;
            case 56: {
                OrviMapiRowSet rows = Pick(pool_.rows[kAddressBook]);
                ContactRecord record;
                std::memset(&record, 0xA5, sizeof record);
                OrviMapiABContGetParam(rows, &record);
                uint32_t cb = 0;
                unsigned char* bytes = nullptr;
                if (OrviMapiABGetContactEID(rows, &cb, &bytes) == 0)
                    Remember(pool_.contactIds, cb, bytes);
                const Bytes id = EntryId(pool_.contactIds);
                OrviMapiABShowForm(Count(id), Data(id));
                break;
            }
            case 57: {
                OrviMapiTable table = nullptr;
                OrviMapiContactContQuerySet(Pick(pool_.folders), &table);
                Keep(pool_.tables[kContacts], table);
                break;
            }
            case 58:
                ReadRows(kContacts);
                break;
            case 59: {
                OrviMapiRowSet rows = Pick(pool_.rows[kContacts]);
                ContactRecord record;
                std::memset(&record, 0xA5, sizeof record);
                OrviMapiContactContGetParam(rows, &record);
                uint32_t cb = 0;
                unsigned char* bytes = nullptr;
                if (OrviMapiContactContGetEID(rows, &cb, &bytes) == 0)
                    Remember(pool_.contactIds, cb, bytes);
                break;
            }
            case 60: {
                OrviMapiFolder folder = Pick(pool_.folders);
                std::vector<std::string> texts;
                const ContactRecord record = Contact(texts);
                const bool given = in_.ConsumeIntegralInRange<int>(0, 15) != 0;
                if (in_.ConsumeBool()) {
                    OrviMapiContactAdd(folder, given ? &record : nullptr);
                } else {
                    const Bytes id = EntryId(pool_.contactIds);
                    OrviMapiContactUpdate(folder, Count(id), Data(id), given ? &record : nullptr);
                }
                break;
            }
            case 61: {
                if (in_.ConsumeBool()) {
                    const Bytes store = EntryId(pool_.storeIds),
                                message = EntryId(pool_.messageIds);
                    OrviMapiMsgEdit(0, Count(store), Data(store), Count(message), Data(message));
                } else {
                    OrviMapiMsgEditNew(0, Pick(pool_.stores), Pick(pool_.folders));
                }
                break;
            }
            case 62: {
                // A MAPI call, or allocation, made to fail: once or from then on.
                static const char* const methods[] = {"*",
                                                      "*::GetProps",
                                                      "*::OpenEntry",
                                                      "IMAPITable::QueryRows",
                                                      "*::SetProps",
                                                      "*::SaveChanges",
                                                      "CreateStreamOnHGlobal",
                                                      "HGlobalStream::Write",
                                                      "HGlobalStream::Read"};
                const uint32_t nth = in_.ConsumeIntegralInRange<uint32_t>(1, 40);
                const bool persistent = in_.ConsumeBool();
                if (in_.ConsumeIntegralInRange<int>(0, 3) == 0) {
                    mapisim_fail_allocation(nth, persistent);
                } else {
                    const char* method =
                        methods[in_.ConsumeIntegralInRange<size_t>(0, std::size(methods) - 1)];
                    mapisim_fail_method(method, nth, persistent,
                                        static_cast<int32_t>(0x80040116)); // MAPI_E_DISK_ERROR
                }
                break;
            }
            default: {
                mapisim_clear_faults();
                mapisim_fail_allocation(0, 0);
                break;
            }
        }
    }

    void ReadRows(Kind kind)
    {
        OrviMapiTable table = Pick(pool_.tables[kind]);
        OrviMapiRowSet rows = nullptr;
        switch (kind) {
            case kStoreTable:
                OrviMapiMsgStoreQueryGetRow(table, &rows);
                break;
            case kHierarchy:
                OrviMapiFolderHierQueryGetRow(table, &rows);
                break;
            case kContents:
                OrviMapiFolderContQueryGetRow(table, &rows);
                break;
            case kRecipients:
                OrviMapiMsgAddrOtherGetRow(table, &rows);
                break;
            case kAddressBook:
                OrviMapiABContQueryGetRow(table, &rows);
                break;
            case kContacts:
                OrviMapiContactContQueryGetRow(table, &rows);
                break;
            default:
                if (in_.ConsumeBool())
                    OrviMapiMsgAttachGetRow(table, &rows);
                else
                    OrviMapiMsgAttachGetAllRows(table, &rows);
        }
        Keep(pool_.rows[kind], rows);
    }

    void ReadStream()
    {
        OrviMapiStream stream = Pick(pool_.streams);
        if (stream == nullptr) return;
        std::vector<char> block(in_.ConsumeIntegralInRange<size_t>(1, 70000));
        ULONG got = 0;
        reinterpret_cast<IStream*>(stream)->Read(block.data(), static_cast<ULONG>(block.size()),
                                                 &got);
    }

    // Releases one handle of a kind chosen by the input, the way the
    // application would, and forgets it.
    void Release()
    {
        switch (in_.ConsumeIntegralInRange<int>(0, 7)) {
            case 0:
                ReleaseOne(pool_.streams, OrviMapiReleaseStream);
                break;
            case 1:
                ReleaseOne(pool_.messages, OrviMapiReleaseMsg);
                break;
            case 2:
                ReleaseOne(pool_.folders, OrviMapiReleaseFolder);
                break;
            case 3:
                ReleaseOne(pool_.attachments, OrviMapiReleaseAttach);
                break;
            case 4: {
                const Kind kind = static_cast<Kind>(in_.ConsumeIntegralInRange<int>(0, kKinds - 1));
                ReleaseOne(pool_.rows[kind], OrviMapiReleaseResult);
                break;
            }
            case 5: {
                const Kind kind = static_cast<Kind>(in_.ConsumeIntegralInRange<int>(0, kKinds - 1));
                // A table's registrations end before the table goes.
                if (DestroyTableSinks()) ReleaseOne(pool_.tables[kind], OrviMapiReleaseTable);
                break;
            }
            case 6:
                ReleaseOne(pool_.containers, ReleaseContainer);
                break;
            default:
                if (DestroyStoreSinks()) ReleaseOne(pool_.stores, ReleaseStore);
        }
    }

    static void ReleaseContainer(OrviMapiABContainer container)
    {
        OrviMapiReleaseFolder(reinterpret_cast<OrviMapiFolder>(container));
    }
    static void ReleaseStore(OrviMapiStore store) { OrviMapiMsgStoreRelease(store); }

    template <class T>
    void ReleaseOne(std::vector<T>& pool, void (*release)(T))
    {
        if (pool.empty()) return;
        const size_t at = in_.ConsumeIntegralInRange<size_t>(0, pool.size() - 1);
        // Property arrays are read with their folder or message: they go first.
        ReleaseProps();
        release(pool[at]);
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(at));
    }

    void ReleaseProps()
    {
        for (const FolderProps& p : pool_.folderProps)
            OrviMapiFolderPropsRelease(p.folder, p.props);
        for (const MessageProps& p : pool_.messageProps)
            OrviMapiMsgPropsRelease(p.message, p.props);
        pool_.folderProps.clear();
        pool_.messageProps.clear();
    }

    // Registrations end only inside a session; without one they stay, and
    // so do their stores and tables. False when some are left.
    bool DestroyStoreSinks()
    {
        if (!SessionIsOpen()) return pool_.storeSinks.empty();
        for (const StoreSink& s : pool_.storeSinks)
            if (OrviMapiAdviseMsgStoreDestroy(s.store, s.connection, s.sink) != 0) __builtin_trap();
        pool_.storeSinks.clear();
        return true;
    }

    bool DestroyTableSinks()
    {
        if (!SessionIsOpen()) return pool_.tableSinks.empty();
        for (const TableSink& s : pool_.tableSinks)
            if (OrviMapiAdviseTableDestroy(s.table, s.connection, s.sink) != 0) __builtin_trap();
        pool_.tableSinks.clear();
        return true;
    }

    void ReleaseAll()
    {
        mapisim_clear_faults();
        mapisim_fail_allocation(0, 0);
        // The application that stopped its session before ending its
        // registrations starts one again to end them.
        if ((!pool_.storeSinks.empty() || !pool_.tableSinks.empty()) && !SessionIsOpen() &&
            OrviMapiStart("", 0) != 0)
            __builtin_trap();
        if (!DestroyStoreSinks() || !DestroyTableSinks()) __builtin_trap();
        ReleaseProps();
        for (const auto& rows : pool_.rows)
            for (OrviMapiRowSet r : rows) OrviMapiReleaseResult(r);
        for (const auto& tables : pool_.tables)
            for (OrviMapiTable t : tables) OrviMapiReleaseTable(t);
        for (OrviMapiStream s : pool_.streams) OrviMapiReleaseStream(s);
        for (OrviMapiAttach a : pool_.attachments) OrviMapiReleaseAttach(a);
        for (OrviMapiMessage m : pool_.messages) OrviMapiReleaseMsg(m);
        for (OrviMapiFolder f : pool_.folders) OrviMapiReleaseFolder(f);
        for (OrviMapiABContainer c : pool_.containers) ReleaseContainer(c);
        for (OrviMapiStore s : pool_.stores) OrviMapiMsgStoreRelease(s);
        pool_ = Pool{};
        // The application stops every start.
        for (int guard = 0; SessionIsOpen() && guard < 1000; ++guard) OrviMapiStop();
    }

    FuzzedDataProvider& in_;
    Pool pool_;
    bool initializeCalled_ = false;
    OrviMapiEntryList list_{};
};

struct Counts {
    uint32_t objects, allocations, local, keys;
    static Counts Now()
    {
        return {mapisim_live_objects(), mapisim_live_allocations(),
                mapisim_live_local_allocations(), mapisim_open_registry_keys()};
    }
    bool operator==(const Counts& o) const
    {
        return objects == o.objects && allocations == o.allocations && local == o.local &&
               keys == o.keys;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::ifstream file(ORVIMAPI_SAMPLE_MAILBOX, std::ios::binary);
    SampleText().assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (SampleText().empty()) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Every input runs on the sample mailbox as loaded and a library as at
    // load. Loading costs far more than most sequences, so the mailbox is
    // loaded again only after a sequence that changed the model.
    static std::uint64_t loaded = 0;
    if (loaded == 0 || mapisim::model::generation() != loaded) {
        mapisim_reset();
        if (mapisim_load_mailbox_string(SampleText().c_str()) != 0) __builtin_trap();
        mapisim_set_call_log(0);
        loaded = mapisim::model::generation();
    }
    ResetLastErrorForTests();
    Session() = SessionState{};
    ResetNamedPropertiesForTests();
    SetClientOutlookVersion(2);
    const Counts before = Counts::Now();
    bool initializeCalled = false;
    {
        FuzzedDataProvider input(data, size);
        Sequence sequence(input);
        sequence.Run();
        initializeCalled = sequence.InitializeCalled();
    }
    if (!(Counts::Now() == before)) __builtin_trap();
    if (mapisim_dead_calls() != 0 || mapisim_bad_frees() != 0) __builtin_trap();
    // The starts of a session initialise MAPI, and the session's end (or a
    // failed start) uninitialises it. OrviMapiInitialize has no counterpart:
    // what it leaves initialised the application ends with MAPIUninitialize.
    if (!initializeCalled && mapisim_mapi_initialized() != 0) __builtin_trap();
    while (mapisim_mapi_initialized() != 0) MAPIUninitialize();
    return 0;
}
