// Signature and checksum checks of signed updates, and the built-in key.
#include "wizard/Signature.h"

#include <windows.h>

#include <sodium.h>

#include <vector>

#include "toolkit/Handles.h"

namespace wizard {

const char kPublicKeyResource[] = "TRELK_UPDATE_PUBLIC_KEY";

namespace {

bool SodiumReady() {
  // sodium_init is safe to call again; it answers 1 once it has run.
  static const bool ready = sodium_init() >= 0;
  return ready;
}

toolkit::ScopedFile OpenForReading(const std::string& path) {
  return toolkit::ScopedFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

std::string BuiltInPublicKey() {
  HRSRC found = FindResourceA(nullptr, kPublicKeyResource, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (!found) return std::string();
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(nullptr, found);
  if (!bytes) return std::string();
  return std::string(static_cast<const char*>(bytes), size);
}

bool SignatureVerifies(std::string_view message, std::string_view signature, std::string_view publicKey) {
  if (signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES || !SodiumReady())
    return false;
  return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()),
                                     reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                     reinterpret_cast<const unsigned char*>(publicKey.data())) == 0;
}

std::optional<std::string> FileSha256(const std::string& path) {
  toolkit::ScopedFile file = OpenForReading(path);
  if (!file) return std::nullopt;
  return FileSha256(file.get());
}

std::optional<std::string> FileSha256(HANDLE file) {
  if (!SodiumReady()) return std::nullopt;
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::nullopt;
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<unsigned char> block(65536);
  while (true) {
    DWORD got = 0;
    if (!ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    crypto_hash_sha256_update(&state, block.data(), got);
  }
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace wizard
