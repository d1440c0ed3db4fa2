// The reset of all Win32 stand-in state that tests set up.
#include "mapisim/mapisim.h"

extern "C" MAPISIM_EXPORT void mapisim_reset_platform(void)
{
    mapisim_registry_clear();
    mapisim_version_clear();
}
