// The MAPI interface identifiers the stand-in answers to. The SDK's
// mapiguid.h only declares them; one unit of a program defines them.
// (Elsewhere mapisim/decl/mapi.h defines them inline.)
#include "mapisim/decl/mapi.h"

#define USES_IID_IABContainer
#define USES_IID_IAddrBook
#define USES_IID_IAttachment
#define USES_IID_IDistList
#define USES_IID_IMAPIAdviseSink
#define USES_IID_IMAPIContainer
#define USES_IID_IMAPIFolder
#define USES_IID_IMAPIProp
#define USES_IID_IMAPISession
#define USES_IID_IMAPIStatus
#define USES_IID_IMAPITable
#define USES_IID_IMailUser
#define USES_IID_IMessage
#define USES_IID_IMsgStore
#define USES_IID_IProfAdmin
#define USES_IID_IProfSect
#undef MAPIGUID_H
#define INITGUID
#include <initguid.h>
#include <mapiguid.h>
