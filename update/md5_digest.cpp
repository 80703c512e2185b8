#include "update/md5_digest.h"

#include <cstdio>
#include <stdexcept>

namespace {

const size_t kProviderMessageChars = 256;

} // namespace

CMd5Digest::CMd5Digest()
{
    if (!::CryptAcquireContextW(provider_.Receive(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        char text[kProviderMessageChars];
        std::snprintf(text, sizeof(text), "CryptAcquireContext failed with code: %lx", ::GetLastError());
        throw std::runtime_error(text);
    }
}

void CMd5Digest::CreateHash()
{
    if (!::CryptCreateHash(provider_.Get(), CALG_MD5, 0, 0, hash_.Receive()))
        throw std::runtime_error("Error during CryptCreateHash!");
}

void CMd5Digest::Update(const void* data, size_t length)
{
    if (finished_) {
        hash_.Reset();
        finished_ = false;
    }
    if (!hash_)
        CreateHash();
    if (!::CryptHashData(hash_.Get(), static_cast<const BYTE*>(data), static_cast<DWORD>(length), 0))
        throw std::runtime_error("CryptHashData failed");
}

Md5Hash CMd5Digest::Digest()
{
    // Nothing given yet: the digest of the empty input.
    if (!hash_)
        CreateHash();
    Md5Hash digest{};
    DWORD hashSize = 0;
    DWORD sizeBytes = sizeof(hashSize);
    if (::CryptGetHashParam(hash_.Get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&hashSize), &sizeBytes, 0) &&
        hashSize == digest.size()) {
        DWORD valueBytes = hashSize;
        ::CryptGetHashParam(hash_.Get(), HP_HASHVAL, digest.data(), &valueBytes, 0);
    }
    finished_ = true;
    return digest;
}
