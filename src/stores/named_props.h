// The run-time property tags of the named properties the library uses,
// resolved once per process from the first "Personal Folders" store opened.
#pragma once

#include "frame/platform.h"

struct NamedPropTagTable {
    ULONG Keywords;
    ULONG FlagRequest;
    ULONG ReminderSet;
    ULONG FileUnder;
    ULONG Email1AddrType;
    ULONG Email1EmailAddress;
    ULONG Email1OriginalDisplayName;
    ULONG Email2AddrType;
    ULONG Email2EmailAddress;
    ULONG Email2OriginalDisplayName;
    ULONG Email3AddrType;
    ULONG Email3EmailAddress;
    ULONG Email3OriginalDisplayName;
};

// Every slot holds tag::Unresolved until resolution finds its property.
NamedPropTagTable& NamedPropTags();

// Fills the slots from the store's named properties and patches the message
// and contact column sets. Always returns 0.
int ResolveNamedProperties(IMsgStore* store);

// Set once a "Personal Folders" store has been resolved; never cleared.
bool& NamedPropsResolved();

// Everything back as at load (slots, flag, both column sets); for tests.
void ResetNamedPropertiesForTests();
