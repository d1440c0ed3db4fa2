// Base of every stand-in COM object: counts it while it lives, and leaves a
// tombstone behind after the last Release so that a late AddRef/Release on
// it is counted (mapisim_dead_calls) instead of touching freed memory.
//
// Interface is the one inheritance chain the object implements (IStream,
// IMAPITable, IMsgStore ...): every interface pointer it hands out must be
// the object's own address, which QueryInterface returning `this` gives.
// Objects are made with plain `new` and never deleted directly: the last
// Release destroys them.
#pragma once

#include <atomic>

#include "mapisim/core/counters.h"
#include "mapisim/core/stand_in_lock.h"
#include "mapisim/decl/win32.h"

namespace mapisim {

// Takes the storage of a destroyed object: puts a tombstone IUnknown there
// and frees the storage later, once enough newer objects have died.
void Bury(void* storage);

template <class Interface>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = refs_.fetch_sub(1) - 1;
        if (left == 0) {
            // Destructors let go of model nodes and other objects.
            const StandInGuard guard;
            void* storage = dynamic_cast<void*>(this);
            this->~ComObject(); // virtual: runs the whole object's destructor
            Bury(storage);
        }
        return left;
    }

protected:
    ComObject() noexcept { NoteObjectCreated(); }
    virtual ~ComObject() { NoteObjectDestroyed(); }

private:
    std::atomic<ULONG> refs_{1};
};

} // namespace mapisim
