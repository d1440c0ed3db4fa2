// A message's addresses: "from" and sender from its property array, and the
// recipient table with its row readers.
#include <cstring>

#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "messages/message_columns.h"
#include "messages/message_tables.h"

namespace {

namespace recipcol {
enum : ULONG { RecipientType, AddrType, DisplayName, EmailAddress, RecipientDisplayName, Count };
}

// clang-format off
SizedSPropTagArray(recipcol::Count, recipientColumns) = {
    recipcol::Count,
    {tag::RecipientType, tag::AddrType, tag::DisplayName, tag::EmailAddress,
     tag::RecipientDisplayName}};
// clang-format on

constexpr uint32_t kKindFrom = 1;
constexpr uint32_t kKindSender = 2;

struct AddressColumns {
    ULONG addrType;
    ULONG email;
    ULONG name;
};

// "From" and sender: length 0 and a null pointer for a missing text.
void ReadMessageText(const SPropValue* props, ULONG column, uint32_t& length, char*& text)
{
    const SPropValue& value = props[column];
    if (value.ulPropTag == MessageColumn(column) && value.Value.lpszA != nullptr) {
        length = static_cast<uint32_t>(std::strlen(value.Value.lpszA));
        text = value.Value.lpszA;
    } else {
        length = 0;
        text = nullptr;
    }
}

int32_t ReadMessageAddress(const SPropValue* props, uint32_t kind, const AddressColumns& columns,
                           MsgAddrRecord& record)
{
    record.kind = kind;
    ReadMessageText(props, columns.addrType, record.addressTypeLength, record.addressType);
    ReadMessageText(props, columns.email, record.emailLength, record.email);
    ReadMessageText(props, columns.name, record.nameLength, record.name);
    return 0;
}

uint32_t RecipientKind(const SPropValue* type)
{
    if (type == nullptr) return 0;
    switch (type->Value.l) {
        case MAPI_TO:
            return 3;
        case MAPI_CC:
            return 4;
        case MAPI_BCC:
            return 5;
        default:
            return 0;
    }
}

} // namespace

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgAddrFromGet(OrviMapiMessage msg, OrviMapiProps props, MsgAddrRecord* record)
{
    CHECK_ARG(msg != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(props != nullptr, "pProps is NULL", -1);
    CHECK_ARG(record != nullptr, "pRecord is NULL", -1);
    return ReadMessageAddress(AsMapi(props), kKindFrom,
                              {msgcol::SentRepresentingAddrType,
                               msgcol::SentRepresentingEmailAddress, msgcol::SentRepresentingName},
                              *record);
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgAddrSenderGet(OrviMapiMessage msg, OrviMapiProps props, MsgAddrRecord* record)
{
    CHECK_ARG(msg != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(props != nullptr, "pProps is NULL", -1);
    CHECK_ARG(record != nullptr, "pRecord is NULL", -1);
    return ReadMessageAddress(
        AsMapi(props), kKindSender,
        {msgcol::SenderAddrType, msgcol::SenderEmailAddress, msgcol::SenderName}, *record);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherQuerySet(OrviMapiMessage msg, OrviMapiTable* tableOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "Message not defined", -1);
    CHECK_ARG(tableOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    CHECK_HR(AsMapi(msg)->GetRecipientTable(flag::DeferredErrors, table.put()), -1);
    CHECK_HR(
        table->SetColumns(reinterpret_cast<LPSPropTagArray>(&recipientColumns), flag::TblBatch),
        -1);
    *tableOut = ToHandle(table.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherGetRowCount(OrviMapiTable table)
{
    return MessageTableRowCount(table);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherGetRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    return MessageTableNextRow(table, rowsOut);
}

// The recipient type is read without testing its tag: an error value in its
// place gives kind 0. A missing text gives length 0 and leaves its pointer.
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherGetParam(OrviMapiRowSet rows, MsgAddrRecord* record)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(record != nullptr, "pRecord is NULL", -1);

    const RowReader row(AsMapi(rows)->aRow[0]);
    MsgAddrRecord& r = *record;
    r.kind = RecipientKind(row.Column(recipcol::RecipientType));
    row.Text(recipcol::AddrType, tag::AddrType, r.addressTypeLength, r.addressType);
    row.Text(recipcol::EmailAddress, tag::EmailAddress, r.emailLength, r.email);
    row.Text(recipcol::DisplayName, tag::DisplayName, r.nameLength, r.name);
    row.Text(recipcol::RecipientDisplayName, tag::RecipientDisplayName,
             r.recipientDisplayNameLength, r.recipientDisplayName);
    return 0;
}
