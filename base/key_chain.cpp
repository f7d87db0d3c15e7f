// Root keys, the delegation of a release key, retirements and the chain's verdict.
#include "base/key_chain.h"

#include <algorithm>
#include <cmath>

#include "base/list_dates.h"
#include "base/signed_update.h"

namespace base {

namespace {

constexpr std::size_t kKeyIdDigits = 16;

bool IsKeyId(std::string_view text) {
  return text.size() == kKeyIdDigits &&
         std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameProgram(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// The file's lines, each without its LF and a CR before it; empty result when a line is empty or
// holds another control character than a tab, or the file does not end with its last line's break.
std::optional<std::vector<std::string_view>> Lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t b = 0;
  while (b < bytes.size()) {
    const std::size_t e = bytes.find('\n', b);
    if (e == std::string_view::npos) return std::nullopt;
    std::string_view line = bytes.substr(b, e - b);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return std::nullopt;
    for (char c : line)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    lines.push_back(line);
    b = e + 1;
  }
  return lines;
}

// Reads the fields `names` in order from `lines` at `at`: their values, and the record's signed
// text (the header and every field but the last, each with LF), which the last field signs.
struct Record {
  std::vector<std::string_view> values;
  std::string signedText;
};
std::optional<Record> ReadRecord(const std::vector<std::string_view>& lines, std::size_t& at, std::string_view header,
                                 std::initializer_list<std::string_view> names) {
  if (at >= lines.size() || lines[at] != header) return std::nullopt;
  Record record;
  record.signedText = std::string(header) + "\n";
  std::size_t i = at + 1;
  std::size_t n = 0;
  for (std::string_view name : names) {
    if (i >= lines.size()) return std::nullopt;
    const std::string_view line = lines[i];
    if (line.size() <= name.size() + 1 || line.substr(0, name.size()) != name || line[name.size()] != '=')
      return std::nullopt;
    record.values.push_back(line.substr(name.size() + 1));
    if (++n < names.size()) record.signedText += std::string(line) + "\n";
    ++i;
  }
  at = i;
  return record;
}

std::optional<std::uint32_t> ReadEpoch(std::string_view text) {
  // Exactly the digits, no leading zero: one number has one text.
  if (text.empty() || text[0] == '0' || TrimBlanksAndBreaks(text).size() != text.size()) return std::nullopt;
  const auto value = ReadListNumber(text, kMaxSerial);
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::optional<std::string> ReadSignature(std::string_view text) {
  if (TrimBlanksAndBreaks(text).size() != text.size()) return std::nullopt;
  return ParseSignatureFile(text);
}

// The names of "Programs=": "*", or names separated by ",", none empty or with blanks at its ends.
bool ReadPrograms(std::string_view text, Delegation& d) {
  if (text == "*") {
    d.allPrograms = true;
    return true;
  }
  std::size_t b = 0;
  while (true) {
    const std::size_t e = std::min(text.find(',', b), text.size());
    const std::string_view name = text.substr(b, e - b);
    if (name.empty() || name.front() == ' ' || name.back() == ' ' || name == "*") return false;
    d.programs.emplace_back(name);
    if (e == text.size()) return true;
    b = e + 1;
  }
}

const std::string* RootWithId(const std::vector<std::string>& roots, std::string_view id) {
  for (const std::string& root : roots)
    if (KeyId(root) == id) return &root;
  return nullptr;
}

bool Contains(const std::vector<std::string>& ids, std::string_view id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

}  // namespace

std::string KeyId(std::string_view publicKey) { return HexText(publicKey.substr(0, kKeyIdDigits / 2)); }

std::optional<std::vector<std::string>> ParseRootKeys(std::string_view text) {
  std::vector<std::string> keys;
  std::size_t b = 0;
  while (true) {
    const std::size_t e = std::min(text.find(',', b), text.size());
    auto key = ParsePublicKey(text.substr(b, e - b));
    if (!key || keys.size() == kMaxRootKeys) return std::nullopt;
    // Two keys with one key id could not be told apart in a chain.
    for (const std::string& other : keys)
      if (KeyId(other) == KeyId(*key)) return std::nullopt;
    keys.push_back(std::move(*key));
    if (e == text.size()) return keys;
    b = e + 1;
  }
}

std::optional<KeyChain> ParseKeyChain(std::string_view bytes, bool withList) {
  if (bytes.size() > kKeyChainLimit) return std::nullopt;
  const auto lines = Lines(bytes);
  if (!lines) return std::nullopt;
  std::size_t at = 0;
  KeyChain chain;
  const auto delegation =
      ReadRecord(*lines, at, "[Delegation]", {"Key", "KeyId", "Programs", "Epoch", "Expires", "Root", "Signature"});
  if (!delegation) return std::nullopt;
  Delegation& d = chain.delegation;
  const auto& v = delegation->values;
  auto key = ParsePublicKey(v[0]);
  auto epoch = ReadEpoch(v[3]);
  auto expires = TryParsePublishedDate(v[4]);
  auto signature = ReadSignature(v[6]);
  if (!key || v[0].size() != TrimBlanksAndBreaks(v[0]).size() || KeyId(*key) != v[1] || !ReadPrograms(v[2], d) ||
      !epoch || !expires || v[4].size() != 10 || !IsKeyId(v[5]) || !signature)
    return std::nullopt;
  d.key = std::move(*key);
  d.epoch = *epoch;
  d.expiresText = std::string(v[4]);
  d.expires = *expires;
  d.root = std::string(v[5]);
  d.signedText = delegation->signedText;
  d.signature = std::move(*signature);
  while (at < lines->size() && (*lines)[at] == "[Retirement]") {
    if (chain.retirements.size() == kMaxRetirements) return std::nullopt;
    const auto record = ReadRecord(*lines, at, "[Retirement]", {"Root", "From", "By", "Signature"});
    if (!record) return std::nullopt;
    const auto& r = record->values;
    auto from = ReadEpoch(r[1]);
    auto recordSignature = ReadSignature(r[3]);
    if (!IsKeyId(r[0]) || !from || !IsKeyId(r[2]) || r[0] == r[2] || !recordSignature) return std::nullopt;
    chain.retirements.push_back(
        Retirement{std::string(r[0]), *from, std::string(r[2]), record->signedText, std::move(*recordSignature)});
  }
  if (!withList) {
    if (at != lines->size()) return std::nullopt;
    return chain;
  }
  const auto list = ReadRecord(*lines, at, "[List]", {"Signature"});
  if (!list || at != lines->size()) return std::nullopt;
  auto listSignature = ReadSignature(list->values[0]);
  if (!listSignature) return std::nullopt;
  chain.listSignature = std::move(*listSignature);
  return chain;
}

std::string DelegationText(std::string_view releaseKey, const std::vector<std::string>& programs, std::uint32_t epoch,
                           std::string_view expires, std::string_view rootId) {
  std::string names;
  for (const std::string& p : programs) names += (names.empty() ? "" : ",") + p;
  return "[Delegation]\nKey=" + EncodeBase64(releaseKey) + "\nKeyId=" + KeyId(releaseKey) +
         "\nPrograms=" + (programs.empty() ? std::string("*") : names) + "\nEpoch=" + std::to_string(epoch) +
         "\nExpires=" + std::string(expires) + "\nRoot=" + std::string(rootId) + "\n";
}

std::string RetirementText(std::string_view retiredId, std::uint32_t from, std::string_view byId) {
  return "[Retirement]\nRoot=" + std::string(retiredId) + "\nFrom=" + std::to_string(from) + "\nBy=" +
         std::string(byId) + "\n";
}

std::string KeyChainText(const KeyChain& chain) {
  auto crlf = [](const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
  };
  std::string text = crlf(chain.delegation.signedText) + "Signature=" + EncodeBase64(chain.delegation.signature) + "\r\n";
  for (const Retirement& r : chain.retirements) text += crlf(r.signedText) + "Signature=" + EncodeBase64(r.signature) + "\r\n";
  if (chain.listSignature.empty()) return text;
  return text + "[List]\r\nSignature=" + EncodeBase64(chain.listSignature) + "\r\n";
}

bool DelegationCovers(const Delegation& delegation, std::string_view program) {
  return delegation.allPrograms || std::any_of(delegation.programs.begin(), delegation.programs.end(),
                                               [&](const std::string& p) { return SameProgram(p, program); });
}

ChainVerdict JudgeKeyChain(const KeyChain& chain, std::string_view listBytes, const std::vector<std::string>& roots,
                           std::string_view program, const ChainMemory& memory, base::TDateTime today,
                           const SignatureCheck& verifies) {
  ChainVerdict verdict;
  auto refuse = [](ChainFault fault) {
    ChainVerdict v;
    v.fault = fault;
    return v;
  };
  const Delegation& d = chain.delegation;
  // Retirements first: a record by a key the program no longer trusts counts for nothing.
  std::vector<const Retirement*> counting;
  for (const Retirement& r : chain.retirements) {
    const std::string* by = RootWithId(roots, r.by);
    if (!by || !RootWithId(roots, r.root) || Contains(memory.retired, r.by)) continue;
    if (!verifies(r.signedText, r.signature, *by)) return refuse(ChainFault::SignatureInvalid);
    counting.push_back(&r);
  }
  const std::string* root = RootWithId(roots, d.root);
  if (!root || !verifies(d.signedText, d.signature, *root)) return refuse(ChainFault::SignatureInvalid);
  if (Contains(memory.retired, d.root)) return refuse(ChainFault::RootRetired);
  for (const Retirement* r : counting)
    if (r->root == d.root && d.epoch >= r->from) return refuse(ChainFault::RootRetired);
  if (memory.epoch && d.epoch < *memory.epoch) return refuse(ChainFault::EpochLower);
  if (std::floor(today) > std::floor(d.expires)) return refuse(ChainFault::Expired);
  if (!DelegationCovers(d, program)) return refuse(ChainFault::ProgramNotCovered);
  if (!verifies(listBytes, chain.listSignature, d.key)) return refuse(ChainFault::SignatureInvalid);
  const std::uint32_t standing = memory.epoch ? std::max(*memory.epoch, d.epoch) : d.epoch;
  if (!memory.epoch || d.epoch > *memory.epoch) verdict.epoch = d.epoch;
  // From the epoch the program now stands at, every later delegation is at least as high: a
  // retirement in force for it holds for good, whatever chain comes next.
  for (const Retirement* r : counting)
    if (r->from <= standing && !Contains(memory.retired, r->root) && !Contains(verdict.retire, r->root))
      verdict.retire.push_back(r->root);
  return verdict;
}

std::vector<std::string> ReadRetiredIds(std::string_view text) {
  std::vector<std::string> ids;
  std::size_t b = 0;
  while (b <= text.size() && ids.size() < 16) {
    const std::size_t e = std::min(text.find(',', b), text.size());
    const std::string_view id = TrimBlanksAndBreaks(text.substr(b, e - b));
    if (IsKeyId(id) && !Contains(ids, id)) ids.emplace_back(id);
    b = e + 1;
  }
  return ids;
}

std::string RetiredIdsText(const std::vector<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) text += (text.empty() ? "" : ",") + id;
  return text;
}

}  // namespace base
