// The names of the mailbox description: the named numbers and flags its
// members take ("high", ["read", "unsent"]), the friendly members that each
// set one property ("subject", "received"), and property-tag members
// ("0x0037001E").
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "mapisim/decl/mapitags.h"

namespace mapisim::loader::description {

inline constexpr ULONG kPrTitle = PROP_TAG(PT_STRING8, 0x3A17);
inline constexpr ULONG kPrBusinessPhone = PROP_TAG(PT_STRING8, 0x3A08);

// Named numbers and flags of the format.

struct Name {
    const char* name;
    std::int64_t value;
};

inline constexpr Name kRecipientTypes[] = {
    {"orig", MAPI_ORIG}, {"to", MAPI_TO}, {"cc", MAPI_CC}, {"bcc", MAPI_BCC}};
inline constexpr Name kImportance[] = {{"low", 0}, {"normal", 1}, {"high", 2}};
inline constexpr Name kPriority[] = {{"non_urgent", -1}, {"normal", 0}, {"urgent", 1}};
inline constexpr Name kSensitivity[] = {
    {"none", 0}, {"personal", 1}, {"private", 2}, {"confidential", 3}};
inline constexpr Name kLastVerb[] = {{"reply", 102}, {"reply_all", 103}, {"forward", 104}};
inline constexpr Name kFlagStatus[] = {{"none", 0}, {"complete", 1}, {"flagged", 2}};
inline constexpr Name kAttachMethods[] = {{"by_value", ATTACH_BY_VALUE},
                                          {"by_reference", ATTACH_BY_REFERENCE},
                                          {"by_ref_resolve", ATTACH_BY_REF_RESOLVE},
                                          {"by_ref_only", ATTACH_BY_REF_ONLY},
                                          {"embedded", ATTACH_EMBEDDED_MSG},
                                          {"ole", ATTACH_OLE}};
inline constexpr Name kResourceTypes[] = {{"transport", MAPI_TRANSPORT_PROVIDER},
                                          {"store", MAPI_STORE_PROVIDER},
                                          {"address_book", MAPI_AB},
                                          {"address_book_provider", MAPI_AB_PROVIDER},
                                          {"spooler", MAPI_SPOOLER},
                                          {"profile", MAPI_PROFILE_PROVIDER},
                                          {"subsystem", MAPI_SUBSYSTEM},
                                          {"hook", MAPI_HOOK_PROVIDER}};

inline constexpr Name kMessageFlags[] = {{"read", MSGFLAG_READ},
                                         {"unmodified", MSGFLAG_UNMODIFIED},
                                         {"submit", MSGFLAG_SUBMIT},
                                         {"unsent", MSGFLAG_UNSENT},
                                         {"has_attach", MSGFLAG_HASATTACH},
                                         {"from_me", MSGFLAG_FROMME},
                                         {"associated", MSGFLAG_ASSOCIATED},
                                         {"resend", 0x80},
                                         {"rn_pending", 0x100},
                                         {"nrn_pending", 0x200}};
inline constexpr Name kStatusFlags[] = {{"available", STATUS_AVAILABLE},
                                        {"offline", STATUS_OFFLINE},
                                        {"failure", STATUS_FAILURE},
                                        {"inbound_enabled", STATUS_INBOUND_ENABLED},
                                        {"inbound_active", STATUS_INBOUND_ACTIVE},
                                        {"inbound_flush", STATUS_INBOUND_FLUSH},
                                        {"outbound_enabled", STATUS_OUTBOUND_ENABLED},
                                        {"outbound_active", STATUS_OUTBOUND_ACTIVE},
                                        {"outbound_flush", STATUS_OUTBOUND_FLUSH}};
inline constexpr Name kResourceFlags[] = {
    {"default_outbound", STATUS_DEFAULT_OUTBOUND}, {"default_store", STATUS_DEFAULT_STORE},
    {"primary_identity", STATUS_PRIMARY_IDENTITY}, {"simple_store", STATUS_SIMPLE_STORE},
    {"no_default_store", STATUS_NO_DEFAULT_STORE}, {"primary_store", STATUS_PRIMARY_STORE},
    {"secondary_store", STATUS_SECONDARY_STORE}};
inline constexpr Name kAttachFlags[] = {
    {"invisible_in_html", 1}, {"invisible_in_rtf", 2}, {"mhtml_ref", 4}};

struct NameList {
    const Name* items = nullptr;
    std::size_t size = 0;
    constexpr NameList() = default;
    template <std::size_t N>
    constexpr NameList(const Name (&a)[N]) : items(a), size(N)
    {}
};

inline std::string list_names(NameList names)
{
    std::string out;
    for (std::size_t i = 0; i < names.size; ++i) {
        if (!out.empty()) out += ", ";
        out += names.items[i].name;
    }
    return out;
}

// Friendly properties: one member, one property.

enum class Kind { Text, Lines, Time, Whole, Bool, Bytes, Choice, Flags };

struct Friendly {
    const char* member;
    ULONG tag;
    Kind kind;
    NameList names = {};
};

// Shared by messages (contacts), address-book entries.
inline constexpr Friendly kPersonProps[] = {
    {"company", PR_COMPANY_NAME_A, Kind::Text},  {"prefix", PR_DISPLAY_NAME_PREFIX_A, Kind::Text},
    {"given_name", PR_GIVEN_NAME_A, Kind::Text}, {"middle_name", PR_MIDDLE_NAME_A, Kind::Text},
    {"surname", PR_SURNAME_A, Kind::Text},       {"generation", PR_GENERATION_A, Kind::Text},
    {"job_title", kPrTitle, Kind::Text},         {"business_phone", kPrBusinessPhone, Kind::Text},
};

inline constexpr Friendly kMessageProps[] = {
    {"class", PR_MESSAGE_CLASS_A, Kind::Text},
    {"subject", PR_SUBJECT_A, Kind::Text},
    {"subject_prefix", PR_SUBJECT_PREFIX_A, Kind::Text},
    {"normalized_subject", PR_NORMALIZED_SUBJECT_A, Kind::Text},
    {"topic", PR_CONVERSATION_TOPIC_A, Kind::Text},
    {"conversation_index", PR_CONVERSATION_INDEX, Kind::Bytes},
    {"display_to", PR_DISPLAY_TO_A, Kind::Text},
    {"display_cc", PR_DISPLAY_CC_A, Kind::Text},
    {"display_bcc", PR_DISPLAY_BCC_A, Kind::Text},
    {"reply_to_names", PR_REPLY_RECIPIENT_NAMES_A, Kind::Text},
    {"sent", PR_CLIENT_SUBMIT_TIME, Kind::Time},
    {"received", PR_MESSAGE_DELIVERY_TIME, Kind::Time},
    {"created", PR_CREATION_TIME, Kind::Time},
    {"modified", PR_LAST_MODIFICATION_TIME, Kind::Time},
    {"reply_time", PR_REPLY_TIME, Kind::Time},
    {"flags", PR_MESSAGE_FLAGS, Kind::Flags, kMessageFlags},
    {"status", PR_MSG_STATUS, Kind::Whole},
    {"importance", PR_IMPORTANCE, Kind::Choice, kImportance},
    {"priority", PR_PRIORITY, Kind::Choice, kPriority},
    {"sensitivity", PR_SENSITIVITY, Kind::Choice, kSensitivity},
    {"last_verb", PR_LAST_VERB_EXECUTED, Kind::Choice, kLastVerb},
    {"flag_status", PR_FLAG_STATUS, Kind::Choice, kFlagStatus},
    {"codepage", PR_INTERNET_CPID, Kind::Whole},
    {"message_id", PR_INTERNET_MESSAGE_ID_A, Kind::Text},
    {"headers", PR_TRANSPORT_MESSAGE_HEADERS_A, Kind::Lines},
    {"search_key", PR_SEARCH_KEY, Kind::Bytes},
    {"report_tag", PR_REPORT_TAG, Kind::Bytes},
    {"delete_after_submit", PR_DELETE_AFTER_SUBMIT, Kind::Bool},
    {"body", PR_BODY_A, Kind::Lines},
    {"html", PR_BODY_HTML_A, Kind::Lines},
    {"rtf_compressed", PR_RTF_COMPRESSED, Kind::Bytes},
    {"display_name", PR_DISPLAY_NAME_A, Kind::Text},
};

inline constexpr Friendly kRecipientProps[] = {
    {"name", PR_DISPLAY_NAME_A, Kind::Text},
    {"email", PR_EMAIL_ADDRESS_A, Kind::Text},
    {"addrtype", PR_ADDRTYPE_A, Kind::Text},
    {"display_name", PR_RECIPIENT_DISPLAY_NAME_A, Kind::Text},
};

inline constexpr Friendly kAttachmentProps[] = {
    {"filename", PR_ATTACH_LONG_FILENAME_A, Kind::Text},
    {"short_filename", PR_ATTACH_FILENAME_A, Kind::Text},
    {"display_name", PR_DISPLAY_NAME_A, Kind::Text},
    {"extension", PR_ATTACH_EXTENSION_A, Kind::Text},
    {"pathname", PR_ATTACH_PATHNAME_A, Kind::Text},
    {"mime", PR_ATTACH_MIME_TAG_A, Kind::Text},
    {"content_id", PR_ATTACH_CONTENT_ID_A, Kind::Text},
    {"content_location", PR_ATTACH_CONTENT_LOCATION_A, Kind::Text},
    {"flags", PR_ATTACH_FLAGS, Kind::Flags, kAttachFlags},
    {"rendering_position", PR_RENDERING_POSITION, Kind::Whole},
    {"data", PR_ATTACH_DATA_BIN, Kind::Bytes},
    {"size", PR_ATTACH_SIZE, Kind::Whole},
};

inline constexpr Friendly kAbEntryProps[] = {
    {"name", PR_DISPLAY_NAME_A, Kind::Text},
    {"email", PR_EMAIL_ADDRESS_A, Kind::Text},
    {"addrtype", PR_ADDRTYPE_A, Kind::Text},
    {"subject", PR_SUBJECT_A, Kind::Text},
};

// A table of friendly members, as the member checks and setters take it.
class Table {
public:
    template <std::size_t N>
    constexpr Table(const Friendly (&t)[N]) : begin_(t), end_(t + N)
    {}
    const Friendly* find(std::string_view member) const
    {
        for (const Friendly* f = begin_; f != end_; ++f)
            if (member == f->member) return f;
        return nullptr;
    }

private:
    const Friendly* begin_;
    const Friendly* end_;
};

// The tag a member such as "0x0037001E" names; checked by is_tag_member.
inline ULONG tag_of(std::string_view member)
{
    ULONG tag = 0;
    for (std::size_t i = 2; i < 10; ++i) {
        const char c = member[i];
        tag = tag << 4 | static_cast<ULONG>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return tag;
}

inline bool is_tag_member(std::string_view s)
{
    if (s.size() != 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    for (std::size_t i = 2; i < 10; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

} // namespace mapisim::loader::description
