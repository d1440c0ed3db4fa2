// The mailbox model on its own: values, bags, names, the tree and the world.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/model/world.h"

using namespace mapisim::model;

TEST(ModelValue, StringFormsConvertThroughCodePage1252)
{
    PropertyBag bag;
    bag.set(Value::unicode(PR_SUBJECT_W, u"Caf\u00e9 \u20ac \u4e2d"));
    auto a = bag.get(PR_SUBJECT_A);
    ASSERT_TRUE(a);
    EXPECT_EQ(*a->get<std::string>(), "Caf\xe9 \x80 ?");
    EXPECT_EQ(a->tag(), PR_SUBJECT_A);
    // Back again, and PT_UNSPECIFIED gives the stored form.
    bag.set(Value::string8(PR_BODY_A, "\x80 x"));
    EXPECT_EQ(*bag.get(PR_BODY_W)->get<std::u16string>(), u"\u20ac x");
    EXPECT_EQ(bag.get(CHANGE_PROP_TYPE(PR_BODY_A, PT_UNSPECIFIED))->tag(), PR_BODY_A);
    // Other types do not convert.
    EXPECT_FALSE(bag.get(CHANGE_PROP_TYPE(PR_BODY_A, PT_BINARY)));
}

TEST(ModelValue, OnePropertyPerIdentifierAndPayloadSizes)
{
    PropertyBag bag;
    bag.set(Value::string8(PR_SUBJECT_A, "abc"));
    bag.set(Value::unicode(PR_SUBJECT_W, u"abcd"));
    EXPECT_EQ(bag.size(), 1u);
    EXPECT_EQ(bag.find(PR_SUBJECT_A)->payload_size(), 10u); // (4 + 1) * 2
    EXPECT_EQ(Value::string8(PR_SUBJECT_A, "abc").payload_size(), 4u);
    EXPECT_EQ(Value::binary(PR_ENTRYID, Bytes(7)).payload_size(), 7u);
    EXPECT_EQ(Value::i4(PR_IMPORTANCE, 2).payload_size(), 0u);
    EXPECT_TRUE(bag.erase(PR_SUBJECT_W));
    EXPECT_FALSE(bag.erase(PR_SUBJECT_W));
}

TEST(ModelValue, CopiesOfABagChangeApart)
{
    PropertyBag stored;
    stored.set(Value::string8(PR_SUBJECT_A, "stored"));
    stored.set(Value::i4(PR_IMPORTANCE, 1));
    PropertyBag opened = stored, other = stored;
    opened.set(Value::string8(PR_SUBJECT_A, "edited"));
    EXPECT_TRUE(opened.erase(PR_IMPORTANCE));
    EXPECT_FALSE(opened.erase(PR_BODY_A));
    EXPECT_EQ(*stored.text(PR_SUBJECT_A), "stored");
    EXPECT_EQ(*stored.i4(PR_IMPORTANCE), 1);
    EXPECT_EQ(*other.text(PR_SUBJECT_A), "stored");
    EXPECT_EQ(*opened.text(PR_SUBJECT_A), "edited");
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_TRUE(other == stored);
    EXPECT_FALSE(opened == stored);
    // Saving back shares again; clearing one leaves the others whole.
    stored = opened;
    EXPECT_TRUE(stored == opened);
    opened.clear();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(opened.begin(), opened.end());
    EXPECT_EQ(*stored.text(PR_SUBJECT_A), "edited");
    PropertyBag moved = std::move(other);
    EXPECT_EQ(moved.size(), 2u);
    EXPECT_TRUE(PropertyBag() == opened);
}

// Values stay in identifier order whatever order they come in, and every
// identifier is found, at either end and between, in bags of every size,
// one at a time or many in one walk.
TEST(ModelValue, BagsFindEveryIdentifierInAnyOrderOfArrival)
{
    for (ULONG count = 0; count <= 17; ++count) {
        // Even identifiers from 0x1000, added in a shuffled order.
        std::vector<ULONG> order(count);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(count));
        PropertyBag bag;
        for (ULONG i : order)
            bag.set(Value::i4(PROP_TAG(PT_LONG, 0x1000 + 2 * i), static_cast<int>(i)));
        ASSERT_EQ(bag.size(), count);
        ULONG previous = 0;
        for (const auto& [id, v] : bag) {
            EXPECT_GT(id, previous);
            previous = id;
        }
        for (ULONG i = 0; i < count; ++i) {
            const Value* v = bag.find(PROP_TAG(PT_UNSPECIFIED, 0x1000 + 2 * i));
            ASSERT_NE(v, nullptr) << count << " values, looking for " << i;
            EXPECT_EQ(*v->get<std::int32_t>(), static_cast<int>(i));
            EXPECT_EQ(bag.find(PROP_TAG(PT_LONG, 0x1001 + 2 * i)), nullptr);
        }
        EXPECT_EQ(bag.find(PROP_TAG(PT_LONG, 0x0FFF)), nullptr);
        // All at once, in any order, present and missing, some twice.
        std::vector<ULONG> asked;
        for (ULONG i = 0; i < 2 * count + 2; ++i) asked.push_back(PROP_TAG(PT_LONG, 0x0FFF + i));
        asked.push_back(PROP_TAG(PT_STRING8, 0x1000));
        std::shuffle(asked.begin(), asked.end(), std::mt19937(count + 1));
        std::vector<const Value*> found(asked.size());
        bag.find_each(asked.data(), PropertyBag::sort_by_id(asked.data(), asked.size()),
                      found.data());
        for (std::size_t i = 0; i < asked.size(); ++i)
            EXPECT_EQ(found[i], bag.find(asked[i])) << count << " values, tag " << asked[i];
        // Replacing keeps one value per identifier; erasing keeps the order.
        if (count == 0) continue;
        bag.set(Value::string8(PROP_TAG(PT_LONG, 0x1000), "first"));
        EXPECT_EQ(bag.size(), count);
        EXPECT_TRUE(bag.erase(PROP_TAG(PT_LONG, 0x1000 + 2 * (count / 2))));
        EXPECT_EQ(bag.find(PROP_TAG(PT_LONG, 0x1000 + 2 * (count / 2))), nullptr);
        EXPECT_EQ(bag.size(), count - 1);
        if (count > 1) {
            EXPECT_EQ(*bag.text(PROP_TAG(PT_STRING8, 0x1000)), "first");
        }
    }
}

TEST(ModelValue, FromMapiRejectsMalformedValues)
{
    SPropValue v{};
    v.ulPropTag = PR_SUBJECT_A;
    v.Value.lpszA = nullptr;
    EXPECT_FALSE(Value::from_mapi(v));
    v.ulPropTag = PR_ENTRYID;
    v.Value.bin.cb = 3;
    v.Value.bin.lpb = nullptr;
    EXPECT_FALSE(Value::from_mapi(v));
    v.ulPropTag = PROP_TAG(PT_R4, 0x6000); // a type the model does not keep
    EXPECT_FALSE(Value::from_mapi(v));
    char text[] = "x";
    v.ulPropTag = PR_SUBJECT_A;
    v.Value.lpszA = text;
    EXPECT_EQ(*Value::from_mapi(v), Value::string8(PR_SUBJECT_A, "x"));
}

TEST(ModelNames, IdentifiersFrom0x8000InFirstSeenOrder)
{
    Store store(1, "S", "P");
    const auto flag = NamedId::by_lid(PSETID_Common, 0x8530);
    const auto kw = NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Keywords");
    EXPECT_EQ(store.named_tag(flag, PT_STRING8), PROP_TAG(PT_STRING8, 0x8000));
    EXPECT_EQ(store.named_tag(kw, PT_MV_STRING8), PROP_TAG(PT_MV_STRING8, 0x8001));
    EXPECT_EQ(store.named_tag(flag, PT_LONG), PROP_TAG(PT_LONG, 0x8000));
    // Names are exact: another case or another set is another property.
    EXPECT_FALSE(
        store.names.find(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"keywords")));
    EXPECT_FALSE(store.names.find(NamedId::by_lid(PSETID_Address, 0x8530)));
    ASSERT_NE(store.names.name_of(0x8001), nullptr);
    EXPECT_EQ(store.names.name_of(0x8001)->name, u"Keywords");
    EXPECT_EQ(store.names.name_of(0x8002), nullptr);
}

TEST(ModelTree, NumbersFindNodesOnlyWhileInTheTree)
{
    Store store(7, "S", "P");
    auto top = store.add_folder(*store.root(), "Top");
    auto inbox = store.add_folder(*top, "Inbox", "IPF.Note");
    auto msg = store.add_message(*inbox);
    EXPECT_EQ(store.find_folder(inbox->number()), inbox);
    EXPECT_EQ(store.find_message(msg->number()), msg);
    EXPECT_EQ(msg->parent(), inbox);
    EXPECT_EQ(store.find_folder(msg->number()), nullptr);

    ASSERT_TRUE(store.detach_folder(*inbox));
    EXPECT_EQ(store.find_folder(inbox->number()), nullptr);
    EXPECT_EQ(store.find_message(msg->number()), nullptr); // gone with its folder
    EXPECT_FALSE(store.detach_folder(*inbox));

    store.attach_folder(*top, inbox); // numbers are kept when it comes back
    EXPECT_EQ(store.find_message(msg->number()), msg);
    EXPECT_EQ(top->find_subfolder("INBOX"), inbox);
}

// Containment follows each node's parent up to the root: moves, detached
// ancestors and parents that no longer exist must all be seen at once.
TEST(ModelTree, ContainmentFollowsMovesAndGoneParents)
{
    Store store(3, "S", "P");
    auto top = store.add_folder(*store.root(), "Top");
    auto a = store.add_folder(*top, "A");
    auto b = store.add_folder(*top, "B");
    auto deep = store.add_folder(*a, "Deep");
    auto msg = store.add_message(*deep);
    EXPECT_TRUE(store.contains(*msg));

    // Moved under B: still in, under its new parent.
    ASSERT_TRUE(store.detach_folder(*deep));
    EXPECT_FALSE(store.contains(*msg));
    store.attach_folder(*b, deep);
    EXPECT_TRUE(store.contains(*msg));
    EXPECT_EQ(msg->parent(), deep);

    // An ancestor detached: everything below is out.
    ASSERT_TRUE(store.detach_folder(*b));
    EXPECT_FALSE(store.contains(*deep));
    EXPECT_FALSE(store.contains(*msg));
    store.attach_folder(*a, b);
    EXPECT_TRUE(store.contains(*msg));

    // The message moved out and back directly.
    ASSERT_TRUE(store.detach_message(*msg));
    EXPECT_FALSE(store.contains(*msg));
    store.attach_message(*a, msg);
    EXPECT_TRUE(store.contains(*msg));

    // A parent that no longer exists: the message outlives its folder.
    auto gone = store.add_folder(*top, "Gone");
    auto orphan = store.add_message(*gone);
    ASSERT_TRUE(store.detach_folder(*gone));
    gone.reset();
    EXPECT_EQ(orphan->parent(), nullptr);
    EXPECT_FALSE(store.contains(*orphan));

    // Another store's nodes are not in this one.
    Store other(4, "O", "P");
    auto there = other.add_message(*other.add_folder(*other.root(), "F"));
    EXPECT_FALSE(store.contains(*there));
    EXPECT_TRUE(other.contains(*there));
}

TEST(ModelTree, CloneIsDeepAndUnnumbered)
{
    Store store(1, "S", "P");
    auto f = store.add_folder(*store.root(), "F");
    auto m = store.add_message(*f);
    auto inner = std::make_shared<Message>();
    inner->props.set(Value::string8(PR_SUBJECT_A, "inner"));
    m->add_attachment(Attachment::embedded_message(inner));
    auto c = m->clone();
    EXPECT_EQ(c->number(), 0u);
    EXPECT_EQ(c->parent(), nullptr);
    ASSERT_EQ(c->attachments.size(), 1u);
    EXPECT_NE(c->attachments[0].embedded, inner);
    EXPECT_EQ(c->attachments[0].embedded->props, inner->props);
    store.attach_message(*f, c);
    EXPECT_NE(c->number(), m->number());
}

TEST(ModelStore, ReceiveFolderByLongestClassPrefix)
{
    Store store(1, "S", "P");
    auto inbox = store.add_folder(*store.root(), "Inbox");
    auto reports = store.add_folder(*store.root(), "Reports");
    store.set_receive_folder("", *inbox);
    store.set_receive_folder("IPM.Report", *reports);
    EXPECT_EQ(store.receive_folder("").first, inbox->number());
    EXPECT_EQ(store.receive_folder("IPM.Note").first, inbox->number());
    EXPECT_EQ(store.receive_folder("ipm.report.delivered"),
              std::make_pair(reports->number(), std::string("IPM.Report")));
    EXPECT_EQ(store.receive_folder("IPM.Reports").first, inbox->number());
}

TEST(ModelWorld, InstallSwapsWholeWorldsAndOldNodesStayValid)
{
    auto w = std::make_shared<World>();
    Profile& p = w->add_profile("Outlook", true);
    auto a = p.add_store("A", "Personal Folders");
    auto b = p.add_store("B", "Personal Folders");
    EXPECT_NE(a->number(), b->number());
    EXPECT_EQ(w->find_profile("OUTLOOK").get(), &p);
    EXPECT_EQ(w->default_profile().get(), &p);

    install(w);
    EXPECT_EQ(current_ptr(), w);
    auto kept = current().profiles[0]->stores[0];
    install(nullptr);
    EXPECT_TRUE(current().profiles.empty());
    EXPECT_EQ(kept->display_name, "A"); // held nodes outlive their world
    w.reset();
}
