// The one session of the process: MAPI initialisation, logon, the address
// book opened with it, and the use count.
#include <cstring>
#include <string>

#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "session/profiles.h"

namespace {

constexpr ULONG kFlagsShared = flag::LogonUi | flag::AllowOthers | flag::Extended; // 0x29
constexpr ULONG kFlagsNewNamed =
    flag::LogonUi | flag::NewSession | flag::AllowOthers | flag::Extended; // 0x2B
constexpr ULONG kFlagsNewChoose = kFlagsNewNamed | flag::ExplicitProfile;  // 0x3B
constexpr ULONG kFlagsDefault = kFlagsShared | flag::UseDefault;           // 0x69

// Logs on and opens the address book. A failed logon leaves the session
// closed and MAPI uninitialised; a failed address book leaves the session
// open without a counted use. Returns the failing HRESULT or S_OK.
HRESULT OpenSession(LPSTR profile, ULONG flags)
{
    SessionState& state = Session();
    HRESULT hr = MAPILogonEx(0, profile, nullptr, flags, &state.currentSession);
    if (FAILED(hr)) {
        if (state.currentSession != nullptr) state.currentSession->Release();
        state.currentSession = nullptr;
        UninitializeMapi();
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        return hr;
    }
    hr = state.currentSession->OpenAddressBook(0, nullptr, flag::AbNoDialog,
                                               &state.currentAddressBook);
    if (FAILED(hr)) {
        state.currentAddressBook = nullptr;
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(state.currentSession, hr);
        return hr;
    }
    ++state.sessionUseCount;
    return S_OK;
}

} // namespace

// Initialises MAPI once; and again after the library itself has
// uninitialised it (a failed logon or the closing stop), so that an
// application can initialise, log on and stop more than once.
ORVIMAPI_EXTERN(int32_t) OrviMapiInitialize(void)
{
    SessionState& state = Session();
    if (state.mapiInitialized && !state.uninitializedSinceInitialize) return 0;
    const HRESULT hr = MAPIInitialize(nullptr);
    if (FAILED(hr)) return RECORD_FAILURE(nullptr, hr, hr);
    SetClientOutlookVersion(ClassifyOutlookVersion());
    state.mapiInitialized = 1;
    state.uninitializedSinceInitialize = false;
    return 0;
}

// The profile name is accepted but not handed to MAPI: the flags alone pick
// the profile (0x2B lets the user choose, 0x69 takes the default profile or
// the running shared session), as applications of this interface expect.
ORVIMAPI_EXTERN(int32_t) OrviMapiLogon(const char* /*profileName*/, int32_t newSession)
{
    SessionState& state = Session();
    if (!state.mapiInitialized) return E_FAIL;
    if (SessionIsOpen()) {
        ++state.sessionUseCount;
        return 0;
    }
    return OpenSession(nullptr, newSession != 0 ? kFlagsNewNamed : kFlagsDefault);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiStart(const char* profileName, int32_t shareSession)
{
    SessionState& state = Session();
    if (SessionIsOpen()) {
        ++state.sessionUseCount;
        return 0;
    }
    const char* given = profileName != nullptr ? profileName : "";
    if (std::strlen(given) > 64) return RECORD_FAILURE(nullptr, 0, -1);

    const HRESULT hr = MAPIInitialize(nullptr);
    if (FAILED(hr)) return RECORD_FAILURE(nullptr, hr, -1);
    SetClientOutlookVersion(ClassifyOutlookVersion());

    std::string profile = given;
    if (profile.empty()) RegistryDefaultProfile(profile);

    ULONG flags;
    if (shareSession == 1) {
        if (ClientOutlookVersion() == 3 && !profile.empty()) {
            flags = kFlagsShared;
        } else {
            flags = kFlagsDefault;
            profile.clear();
        }
    } else {
        flags = profile.empty() ? kFlagsNewChoose : kFlagsNewNamed;
    }
    return SUCCEEDED(OpenSession(profile.data(), flags)) ? 0 : -1;
}

ORVIMAPI_EXTERN(void) OrviMapiStop(void)
{
    SessionState& state = Session();
    if (--state.sessionUseCount > 0) return;
    if (state.currentAddressBook != nullptr) {
        state.currentAddressBook->Release();
        state.currentAddressBook = nullptr;
    }
    if (state.currentSession != nullptr) {
        state.currentSession->Release();
        state.currentSession = nullptr;
        UninitializeMapi();
    }
}

ORVIMAPI_EXTERN(void) OrviMapiReturnSession(OrviMapiSession* sessionOut)
{
    if (sessionOut != nullptr) *sessionOut = ToHandle(Session().currentSession);
}
