// The signing keys of a program with root keys: the root keys built into it, the delegation of
// a release key (signed by a root key) that travels beside the update list as "Updates.ini.chain",
// the retirement of a root key, and the verdict on the whole chain from the root key to the
// list's bytes. Read by the programs' wizard and written and checked by trelkpublish.
//
// The chain file, lines ending in LF or CR LF, nothing else in it, each field exactly once and in
// this order:
//
//   [Delegation]
//   Key=<the release public key, Base64 of 32 bytes>
//   KeyId=<its key id>
//   Programs=*                      (every program) or names separated by "," (Windows-1252)
//   Epoch=<1 to 4294967295; only grows from one delegation to the next>
//   Expires=<dd.MM.yyyy: the last day the delegation is in force>
//   Root=<the key id of the root key that signs it>
//   Signature=<Base64 of 64 bytes: the root key's signature of the lines above, each ending in LF>
//   [Retirement]                    (none, one or two)
//   Root=<the key id of the root key that is retired>
//   From=<the first epoch for which it signs nothing>
//   By=<the key id of the other root key, which signs the record>
//   Signature=<Base64 of 64 bytes: its signature of the record's lines above, each ending in LF>
//   [List]
//   Signature=<Base64 of 64 bytes: the release key's signature of the list's exact bytes>
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"

namespace base {

// The chain file is small; a reply beyond this is refused before it is held whole.
constexpr std::size_t kKeyChainLimit = 16 * 1024;
constexpr std::size_t kMaxRootKeys = 2;
constexpr std::size_t kMaxRetirements = 2;

// A key's short name: its first 8 bytes as 16 lower-case hex digits. It only picks the key;
// every check verifies the whole key.
std::string KeyId(std::string_view publicKey);

// The root keys built into a program: one or two public keys (Base64 of 32 bytes each), separated
// by ",", blanks and line breaks around each ignored; the same key twice is refused. Empty result
// for anything else.
std::optional<std::vector<std::string>> ParseRootKeys(std::string_view text);

struct Delegation {
  std::string key;                    // the release public key, 32 bytes
  bool allPrograms = false;           // "Programs=*"
  std::vector<std::string> programs;  // otherwise the names
  std::uint32_t epoch = 0;
  std::string expiresText;            // as written
  base::TDateTime expires = 0;
  std::string root;                   // key id of the signing root key
  std::string signedText;             // the lines the root key signed
  std::string signature;              // 64 bytes
};

struct Retirement {
  std::string root;  // key id of the retired root key
  std::uint32_t from = 0;
  std::string by;    // key id of the signing root key
  std::string signedText;
  std::string signature;  // 64 bytes
};

struct KeyChain {
  Delegation delegation;
  std::vector<Retirement> retirements;
  std::string listSignature;  // 64 bytes
};

// The chain file read strictly (the form above, at most kKeyChainLimit bytes, every number,
// date, key and signature readable, the key id the key's own). Empty result for anything else.
// Without `withList` the records only, as the maker's delegation file holds them.
std::optional<KeyChain> ParseKeyChain(std::string_view bytes, bool withList = true);

// The texts trelkpublish writes: a delegation record, a retirement record (without their
// "Signature=" line, which is the signature of exactly this text) and the chain file.
std::string DelegationText(std::string_view releaseKey, const std::vector<std::string>& programs, std::uint32_t epoch,
                           std::string_view expires, std::string_view rootId);
std::string RetirementText(std::string_view retiredId, std::uint32_t from, std::string_view byId);
// Without a list signature, the records only (the delegation file).
std::string KeyChainText(const KeyChain& chain);

// What a program remembers of the chains it accepted.
struct ChainMemory {
  std::optional<std::uint32_t> epoch;  // "UpdateKeyEpoch": the highest epoch accepted; none: never one
  std::vector<std::string> retired;    // "UpdateKeyRetired": key ids of root keys it no longer trusts
};

enum class ChainFault {
  None,
  SignatureInvalid,  // unreadable, signed by no root key the program carries, or a signature that does not verify
  RootRetired,       // the delegation's root key is retired for its epoch
  EpochLower,        // the delegation's epoch is below the highest the program accepted
  Expired,           // the delegation's expiry day has passed
  ProgramNotCovered, // the delegation does not name the program
};

struct ChainVerdict {
  ChainFault fault = ChainFault::None;
  std::optional<std::uint32_t> epoch;  // to remember: the delegation's epoch when higher than the one remembered
  std::vector<std::string> retire;     // to remember: root key ids retired from an epoch the program now stands at
};

// Whether `signature` (64 bytes) is right for `message` under `publicKey` (32 bytes).
using SignatureCheck =
    std::function<bool(std::string_view message, std::string_view signature, std::string_view publicKey)>;

// Whether the delegation lets its release key sign for `program`: it names all programs, or this
// one (case ignored, as Windows names files).
bool DelegationCovers(const Delegation& delegation, std::string_view program);

// The verdict of a program with `roots` (32 bytes each) named `program` on `chain` for a list of
// `listBytes`. A retirement record counts when a root key the program carries signed it and that
// is not the key it retires, nor one retired itself; records of keys the program does not carry
// are no concern of it, and one that does not verify refuses the chain. The delegation must be
// signed by a carried, unretired root key (stored, or by a record that counts from an epoch not
// above the delegation's), its epoch not below the remembered one, today not after its expiry
// day, the program among its names (case ignored, as Windows names files) unless it names all,
// and its key must have signed the list's exact bytes.
ChainVerdict JudgeKeyChain(const KeyChain& chain, std::string_view listBytes, const std::vector<std::string>& roots,
                           std::string_view program, const ChainMemory& memory, base::TDateTime today,
                           const SignatureCheck& verifies);

// "UpdateKeyRetired" as stored: key ids separated by ","; anything that is no key id is left out.
std::vector<std::string> ReadRetiredIds(std::string_view text);
std::string RetiredIdsText(const std::vector<std::string>& ids);

}  // namespace base
