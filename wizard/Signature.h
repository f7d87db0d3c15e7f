// The checks of signed updates over libsodium: the detached Ed25519 signature of the update
// list, the SHA-256 of the downloaded archive read block by block, and the public key built
// into the running program.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wizard {

// The name of the program's RCDATA resource that holds the maker's public key (Base64, one
// line), as the build puts it in.
extern const char kPublicKeyResource[];

// The text of that resource in the running program, or "" when the program has none (then its
// wizard reads every list and unpacks every archive as it comes). Throws nothing.
std::string BuiltInPublicKey();

// Whether `signature` (64 bytes) is the Ed25519 signature of `message` by `publicKey` (32
// bytes); false for other sizes. Throws nothing.
bool SignatureVerifies(std::string_view message, std::string_view signature, std::string_view publicKey);

// The SHA-256 (32 bytes) of the file, read in blocks of 64 KB so that the archive is never
// held whole; empty result when it cannot be opened or read. Throws nothing.
std::optional<std::string> FileSha256(const std::string& path);
// The same for the file behind `file` (borrowed), read from its start.
std::optional<std::string> FileSha256(HANDLE file);

}  // namespace wizard
