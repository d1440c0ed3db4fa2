// Send and receive: flush every idle transport through the spooler.
#include "session/session_check.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "session/status_table.h"

namespace {

constexpr ULONG kStatusAvailable = 0x1;
constexpr ULONG kInboundEnabled = 0x10000;
constexpr ULONG kInboundBusy = 0x60000; // STATUS_INBOUND_ACTIVE | STATUS_INBOUND_FLUSH
constexpr ULONG kOutboundEnabled = 0x100000;
constexpr ULONG kOutboundBusy = 0x600000; // STATUS_OUTBOUND_ACTIVE | STATUS_OUTBOUND_FLUSH
constexpr ULONG kFlushUploadDownload = 0x6;

// clang-format off
SizedSPropTagArray(statuscol::Count, statusColumns) = {
    statuscol::Count,
    {tag::DisplayName, tag::EntryId, tag::ProviderDisplay, tag::ResourceFlags, tag::ResourceType,
     tag::StatusCode}};
// clang-format on

bool IsIdleTransport(const SRow& row)
{
    const SPropValue& status = row.lpProps[statuscol::StatusCode];
    // A missing or zero status counts as enabled both ways.
    const ULONG code = status.ulPropTag == tag::StatusCode && status.Value.ul != 0
                           ? status.Value.ul
                           : kInboundEnabled | kOutboundEnabled;
    return (code & kInboundEnabled) && !(code & kInboundBusy) && (code & kOutboundEnabled) &&
           !(code & kOutboundBusy);
}

} // namespace

LPSPropTagArray StatusColumns() { return reinterpret_cast<LPSPropTagArray>(&statusColumns); }

ORVIMAPI_EXTERN(void) OrviMapiSendReceive(void)
{
    CHECK_SESSION(void());
    IMAPISession* session = Session().currentSession;

    ComPtr<IMAPITable> table;
    CHECK_HR_FETCH(session->GetStatusTable(0, table.put()), session, void());
    RowSetPtr rows;
    CHECK_HR(HrQueryAllRows(table.get(), StatusColumns(), nullptr, nullptr, 0, rows.put()), void());

    const SRow* spooler = nullptr;
    for (ULONG i = 0; i < rows->cRows && spooler == nullptr; ++i) {
        const SRow& row = rows->aRow[i];
        if (row.lpProps[statuscol::ResourceType].Value.ul == kMapiSpooler &&
            (row.lpProps[statuscol::StatusCode].Value.ul & kStatusAvailable))
            spooler = &row;
    }
    if (spooler == nullptr) return;

    const SBinary& spoolerId = spooler->lpProps[statuscol::EntryId].Value.bin;
    ULONG objectType = 0;
    ComPtr<IMAPIStatus> status;
    CHECK_HR_FETCH(session->OpenEntry(spoolerId.cb, reinterpret_cast<LPENTRYID>(spoolerId.lpb),
                                      &guid::IidIMAPIStatus, flag::BestAccess, &objectType,
                                      status.putUnknown()),
                   session, void());

    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        if (row.lpProps[statuscol::ResourceType].Value.ul != kMapiTransportProvider) continue;
        if (!IsIdleTransport(row)) continue;
        const SBinary& transport = row.lpProps[statuscol::EntryId].Value.bin;
        IGNORE_HR(status->FlushQueues(0, transport.cb, reinterpret_cast<LPENTRYID>(transport.lpb),
                                      kFlushUploadDownload),
                  "one transport's failure does not stop the others");
    }
}
