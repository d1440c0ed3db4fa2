// The release exports: the application gives back what the library handed out.
#include "frame/handles.h"

namespace {

void ReleaseObject(IUnknown* object)
{
    if (object != nullptr) object->Release();
}

void FreePropertyArray(OrviMapiProps props)
{
    if (props != nullptr) MAPIFreeBuffer(AsMapi(props));
}

} // namespace

ORVIMAPI_EXTERN(void) OrviMapiReleaseTable(OrviMapiTable table) { ReleaseObject(AsMapi(table)); }
ORVIMAPI_EXTERN(void) OrviMapiReleaseFolder(OrviMapiFolder folder)
{
    ReleaseObject(AsMapi(folder));
}
ORVIMAPI_EXTERN(void) OrviMapiReleaseAttach(OrviMapiAttach attach)
{
    ReleaseObject(AsMapi(attach));
}
ORVIMAPI_EXTERN(void) OrviMapiReleaseStream(OrviMapiStream stream)
{
    ReleaseObject(AsMapi(stream));
}
ORVIMAPI_EXTERN(void) OrviMapiReleaseMsg(OrviMapiMessage message)
{
    ReleaseObject(AsMapi(message));
}

ORVIMAPI_EXTERN(void) OrviMapiReleaseResult(OrviMapiRowSet rows)
{
    if (rows != nullptr) FreeProws(AsMapi(rows));
}

ORVIMAPI_EXTERN(void) OrviMapiFolderPropsRelease(OrviMapiFolder, OrviMapiProps props)
{
    FreePropertyArray(props);
}

ORVIMAPI_EXTERN(void) OrviMapiMsgPropsRelease(OrviMapiMessage, OrviMapiProps props)
{
    FreePropertyArray(props);
}
