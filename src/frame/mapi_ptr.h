// Owners for what MAPI hands out: COM pointers (Release), MAPI buffers
// (MAPIFreeBuffer) and row sets (FreeProws). Out-parameters go through
// put(), so an early return always frees exactly what the call acquired;
// what passes to the application leaves through release().
#pragma once

#include <utility>

#include "frame/platform.h"

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* object) : object_(object) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        reset(std::exchange(other.object_, nullptr));
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // Releases the current object and gives the address for an out-parameter.
    T** put()
    {
        reset();
        return &object_;
    }
    // For out-parameters typed as IUnknown** (OpenEntry, OpenProperty).
    IUnknown** putUnknown() { return reinterpret_cast<IUnknown**>(put()); }

    // Hands the object on; the caller owns its reference from now on.
    T* release() { return std::exchange(object_, nullptr); }

    void reset(T* object = nullptr)
    {
        if (T* old = std::exchange(object_, object)) old->Release();
    }

private:
    T* object_ = nullptr;
};

template <class T>
class MapiBuffer {
public:
    MapiBuffer() = default;
    MapiBuffer(const MapiBuffer&) = delete;
    MapiBuffer& operator=(const MapiBuffer&) = delete;
    ~MapiBuffer() { reset(); }

    T* get() const { return buffer_; }
    T* operator->() const { return buffer_; }
    T& operator[](size_t index) const { return buffer_[index]; }
    explicit operator bool() const { return buffer_ != nullptr; }

    T** put()
    {
        reset();
        return &buffer_;
    }
    T* release() { return std::exchange(buffer_, nullptr); }
    void reset()
    {
        if (T* old = std::exchange(buffer_, nullptr)) MAPIFreeBuffer(old);
    }

private:
    T* buffer_ = nullptr;
};

class RowSetPtr {
public:
    RowSetPtr() = default;
    RowSetPtr(const RowSetPtr&) = delete;
    RowSetPtr& operator=(const RowSetPtr&) = delete;
    ~RowSetPtr() { reset(); }

    SRowSet* get() const { return rows_; }
    SRowSet* operator->() const { return rows_; }
    explicit operator bool() const { return rows_ != nullptr; }

    SRowSet** put()
    {
        reset();
        return &rows_;
    }
    SRowSet* release() { return std::exchange(rows_, nullptr); }
    void reset()
    {
        if (SRowSet* old = std::exchange(rows_, nullptr)) FreeProws(old);
    }

private:
    SRowSet* rows_ = nullptr;
};
