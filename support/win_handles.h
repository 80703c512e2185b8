#pragma once
// Owners for Win32 and CRT resources: the destructor releases, so an early
// return cannot leak. Non-copyable, movable.

#include <windows.h>
#include <objbase.h>
#include <shtypes.h>
#include <wincrypt.h>
#include <io.h>
#include <utility>

template <typename Traits>
class ScopedResource {
public:
    using Type = typename Traits::Type;

    ScopedResource() = default;
    explicit ScopedResource(Type value) : value_(value) {}
    ~ScopedResource() { Reset(); }

    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : value_(other.Release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return value_; }
    bool Valid() const { return Traits::IsValid(value_); }
    explicit operator bool() const { return Valid(); }

    // For out-parameters of creating calls; releases what was held.
    Type* Receive()
    {
        Reset();
        return &value_;
    }

    Type Release()
    {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    void Reset(Type value = Traits::Invalid())
    {
        if (Traits::IsValid(value_))
            Traits::Close(value_);
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

struct CrtFileTraits {
    using Type = int;
    static Type Invalid() { return -1; }
    static bool IsValid(Type fd) { return fd >= 0; }
    static void Close(Type fd) { ::_close(fd); }
};

struct CryptProviderTraits {
    using Type = HCRYPTPROV;
    static Type Invalid() { return 0; }
    static bool IsValid(Type h) { return h != 0; }
    static void Close(Type h) { ::CryptReleaseContext(h, 0); }
};

struct CryptHashTraits {
    using Type = HCRYPTHASH;
    static Type Invalid() { return 0; }
    static bool IsValid(Type h) { return h != 0; }
    static void Close(Type h) { ::CryptDestroyHash(h); }
};

// Item ID lists the shell allocates with the task allocator.
struct ItemIdListTraits {
    using Type = LPITEMIDLIST;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type list) { return list != nullptr; }
    static void Close(Type list) { ::CoTaskMemFree(list); }
};

// A module loaded at run time.
struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};

using UniqueHandle = ScopedResource<HandleTraits>;
using UniqueFindHandle = ScopedResource<FindHandleTraits>;
using UniqueRegKey = ScopedResource<RegKeyTraits>;
using UniqueCrtFile = ScopedResource<CrtFileTraits>;
using UniqueCryptProvider = ScopedResource<CryptProviderTraits>;
using UniqueCryptHash = ScopedResource<CryptHashTraits>;
using UniqueItemIdList = ScopedResource<ItemIdListTraits>;
using UniqueLibrary = ScopedResource<LibraryTraits>;

// Owns one reference of a COM interface.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    T** Receive()
    {
        Reset();
        return &ptr_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset()
    {
        if (ptr_)
            ptr_->Release();
        ptr_ = nullptr;
    }

private:
    T* ptr_ = nullptr;
};
