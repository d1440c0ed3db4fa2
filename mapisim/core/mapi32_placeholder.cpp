// PLACEHOLDER: lets the library link before the stand-in's MAPI32 functions
// exist. Every call fails as an uninitialised MAPI would. Delete this file in
// the change that adds the real MAPIInitialize ... HrGetOneProp.
#include "mapisim/decl/mapi.h"

extern "C" {
MAPISIM_API HRESULT MAPIInitialize(LPVOID) { return MAPI_E_NOT_INITIALIZED; }
MAPISIM_API void MAPIUninitialize(void) {}
MAPISIM_API HRESULT MAPILogonEx(ULONG_PTR, LPSTR, LPSTR, ULONG, LPMAPISESSION* session)
{
    if (session != nullptr) *session = nullptr;
    return MAPI_E_NOT_INITIALIZED;
}
MAPISIM_API HRESULT MAPIAdminProfiles(ULONG, LPPROFADMIN* admin)
{
    if (admin != nullptr) *admin = nullptr;
    return MAPI_E_NOT_INITIALIZED;
}
MAPISIM_API HRESULT HrQueryAllRows(LPMAPITABLE, LPSPropTagArray, LPSRestriction, LPSSortOrderSet,
                                   LONG, LPSRowSet* rows)
{
    if (rows != nullptr) *rows = nullptr;
    return MAPI_E_NOT_INITIALIZED;
}
MAPISIM_API HRESULT HrGetOneProp(LPMAPIPROP, ULONG, LPSPropValue* value)
{
    if (value != nullptr) *value = nullptr;
    return MAPI_E_NOT_INITIALIZED;
}
MAPISIM_API HRESULT WrapCompressedRTFStream(LPSTREAM, ULONG, LPSTREAM* stream)
{
    if (stream != nullptr) *stream = nullptr;
    return MAPI_E_NOT_INITIALIZED;
}
}
