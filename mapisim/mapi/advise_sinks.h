// The advise sinks registered on one object, by connection number. Each
// holds a reference from Advise until Unadvise or the object's end.
#pragma once

#include <map>

#include "mapisim/decl/mapi.h"

namespace mapisim::mapi {

class AdviseSinks {
public:
    AdviseSinks() = default;
    AdviseSinks(const AdviseSinks&) = delete;
    AdviseSinks& operator=(const AdviseSinks&) = delete;
    ~AdviseSinks()
    {
        for (auto& [connection, sink] : sinks_) sink->Release();
    }

    // Keeps a reference to the sink; gives its connection number.
    ULONG add(IMAPIAdviseSink* sink)
    {
        sink->AddRef();
        sinks_[next_] = sink;
        return next_++;
    }

    // Releases the sink of a connection; false when there is none.
    bool remove(ULONG connection)
    {
        auto it = sinks_.find(connection);
        if (it == sinks_.end()) return false;
        IMAPIAdviseSink* sink = it->second;
        sinks_.erase(it);
        sink->Release();
        return true;
    }

private:
    std::map<ULONG, IMAPIAdviseSink*> sinks_;
    ULONG next_ = 1;
};

}  // namespace mapisim::mapi
