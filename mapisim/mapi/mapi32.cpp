// MAPI32's helper functions HrQueryAllRows and HrGetOneProp. Both work
// through the object's own methods, as MAPI's do, so those calls are
// logged and can fail too.
#include <vector>

#include "mapisim/mapi/base.h"

using namespace mapisim::mapi;

extern "C" {

MAPISIM_API HRESULT STDAPICALLTYPE HrQueryAllRows(LPMAPITABLE table, LPSPropTagArray tags,
                                                  LPSRestriction res, LPSSortOrderSet sort,
                                                  LONG max_rows, LPSRowSet* out)
{
    Call call(nullptr, "", "HrQueryAllRows");
    call.arg("max", static_cast<ULONG>(max_rows));
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (!table || !out) return call.fail(MAPI_E_INVALID_PARAMETER, "no table or no out");
    if (max_rows < 0) return call.fail(MAPI_E_INVALID_PARAMETER, "a negative row limit");
    HRESULT hr;
    if (tags && FAILED(hr = table->SetColumns(tags, TBL_BATCH)))
        return call.fail(hr, "SetColumns failed");
    if (res && FAILED(hr = table->Restrict(res, TBL_BATCH)))
        return call.fail(hr, "Restrict failed");
    if (sort && FAILED(hr = table->SortTable(sort, TBL_BATCH)))
        return call.fail(hr, "SortTable failed");
    if (FAILED(hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)))
        return call.fail(hr, "SeekRow failed");

    // Batches until the table runs dry: a server may return fewer rows than asked.
    std::vector<SRowSet*> batches;
    struct Cleanup {
        std::vector<SRowSet*>& b;
        ~Cleanup()
        {
            for (SRowSet* s : b) FreeProws(s);
        }
    } cleanup{batches};
    std::size_t total = 0;
    for (;;) {
        SRowSet* batch = nullptr;
        if (FAILED(hr = table->QueryRows(0x7FFF, 0, &batch)))
            return call.fail(hr, "QueryRows failed");
        if (!batch) return call.fail(MAPI_E_CALL_FAILED, "QueryRows gave no row set");
        if (batch->cRows == 0) {
            MAPIFreeBuffer(batch);
            break;
        }
        batches.push_back(batch);
        total += batch->cRows;
        if (max_rows > 0 && total > static_cast<std::size_t>(max_rows))
            return call.fail(MAPI_E_TABLE_TOO_BIG, "more rows than the limit");
    }
    void* p = nullptr;
    if (FAILED(hr = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(total)), &p)))
        return call.fail(hr, "out of memory");
    auto* all = static_cast<SRowSet*>(p);
    all->cRows = 0;
    for (SRowSet* b : batches) {
        for (ULONG i = 0; i < b->cRows; ++i) all->aRow[all->cRows++] = b->aRow[i];
        b->cRows = 0; // the rows moved; only the set itself is freed
    }
    *out = all;
    return call.done(S_OK);
}

MAPISIM_API HRESULT STDAPICALLTYPE HrGetOneProp(LPMAPIPROP obj, ULONG tag, LPSPropValue* out)
{
    Call call(nullptr, "", "HrGetOneProp");
    call.arg_tag("tag", tag);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (!obj || !out) return call.fail(MAPI_E_INVALID_PARAMETER, "no object or no out");
    SizedSPropTagArray(1, one) = {1, {tag}};
    ULONG n = 0;
    LPSPropValue values = nullptr;
    HRESULT hr = obj->GetProps(reinterpret_cast<LPSPropTagArray>(&one), 0, &n, &values);
    if (FAILED(hr)) return call.fail(hr, "GetProps failed");
    MapiPtr<SPropValue> hold(values);
    if (n != 1 || !values) return call.fail(MAPI_E_NOT_FOUND, "no value came back");
    if (PROP_TYPE(values[0].ulPropTag) == PT_ERROR)
        return call.fail(FAILED(values[0].Value.err) ? values[0].Value.err : MAPI_E_NOT_FOUND,
                         "the property is missing");
    *out = hold.release();
    return call.done(S_OK);
}

} // extern "C"
