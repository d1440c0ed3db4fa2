// Process-wide counters behind the live-count and misuse controls of
// mapisim.h, fed by every part of the stand-in.
#pragma once

namespace mapisim {

void NoteObjectCreated();
void NoteObjectDestroyed();

// An IUnknown call reached an object after its last Release.
void NoteDeadCall();

// A free function was given memory it does not own (see mapisim_bad_frees).
void NoteBadFree();

} // namespace mapisim
