// The chain from a program's root keys to the update list: the chain file's reading and the
// verdicts. The signature itself is libsodium's; here a stand-in binds a signature to its key
// and its message, so that a record checked with the wrong key or over the wrong bytes fails.
#include "base/key_chain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/signed_update.h"

namespace {

// 64 bytes that only `key` and `message` give.
std::string FakeSign(std::string_view message, std::string_view key) {
  std::string signature(64, '\0');
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&h](std::string_view bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  };
  mix(key);
  mix("|");
  mix(message);
  for (size_t i = 0; i < signature.size(); ++i) {
    h = (h ^ i) * 1099511628211ull;
    signature[i] = static_cast<char>(h >> 56);
  }
  return signature;
}

bool FakeVerify(std::string_view message, std::string_view signature, std::string_view key) {
  return signature == FakeSign(message, key);
}

std::string Key(char fill) { return std::string(32, fill); }

const base::TDateTime kToday = *base::TryEncodeDate(2026, 12, 9);

struct Chain {
  std::string root = Key('R');          // signs the delegation
  std::string release = Key('L');       // the delegated key
  std::vector<std::string> programs;    // empty: "*"
  std::uint32_t epoch = 3;
  std::string expires = "31.12.2027";
  std::string signedList = "[Notizkasten]\r\nDate=09.12.2026\r\n";  // what the release key signed
  bool spoilDelegation = false;         // the record changed after its signing
  struct Retire {
    std::string retired, by;
    std::uint32_t from;
    bool spoil = false;
  };
  std::vector<Retire> retirements;

  std::string Text() const {
    base::KeyChain c;
    c.delegation.signedText = base::DelegationText(release, programs, epoch, expires, base::KeyId(root));
    c.delegation.signature = FakeSign(c.delegation.signedText, root);
    if (spoilDelegation) c.delegation.signedText.replace(c.delegation.signedText.find("Epoch=") + 6, 1, "9");
    for (const Retire& r : retirements) {
      base::Retirement record;
      record.signedText = base::RetirementText(base::KeyId(r.retired), r.from, base::KeyId(r.by));
      record.signature = FakeSign(r.spoil ? "x" : record.signedText, r.by);
      c.retirements.push_back(record);
    }
    c.listSignature = FakeSign(signedList, release);
    return base::KeyChainText(c);
  }
};

// Every way the chain can lead to the list or fail to, for a program built with root keys P
// (primary) and B (backup), named "Notizkasten".
TEST(KeyChain, Verdicts) {
  using base::ChainFault;
  const std::string primary = Key('R'), backup = Key('S'), stranger = Key('T');
  const std::string list = "[Notizkasten]\r\nDate=09.12.2026\r\n";
  const std::string idP = base::KeyId(primary), idB = base::KeyId(backup);
  auto with = [](std::function<void(Chain&)> change) {
    Chain c;
    change(c);
    return c;
  };
  struct Case {
    const char* name;
    Chain chain;
    base::ChainMemory memory;
    ChainFault fault;
    std::optional<std::uint32_t> epoch;  // to remember
    std::vector<std::string> retire;     // to remember
  } cases[] = {
      {"the primary delegates for every program", Chain{}, {}, ChainFault::None, 3u, {}},
      {"the backup delegates", with([&](Chain& c) { c.root = backup; }), {}, ChainFault::None, 3u, {}},
      {"the program named, in other case", with([](Chain& c) { c.programs = {"Waage", "NOTIZKASTEN"}; }), {},
       ChainFault::None, 3u, {}},
      {"the same epoch again: nothing new to remember", Chain{}, {3u, {}}, ChainFault::None, std::nullopt, {}},
      {"in force on its expiry day", with([](Chain& c) { c.expires = "09.12.2026"; }), {}, ChainFault::None, 3u, {}},
      {"expired yesterday", with([](Chain& c) { c.expires = "08.12.2026"; }), {}, ChainFault::Expired, std::nullopt,
       {}},
      {"for other programs only", with([](Chain& c) { c.programs = {"Waage", "Notizkasten2"}; }), {},
       ChainFault::ProgramNotCovered, std::nullopt, {}},
      {"an epoch below the remembered one (a rotated key)", Chain{}, {4u, {}}, ChainFault::EpochLower, std::nullopt,
       {}},
      {"signed by a root key the program does not carry", with([&](Chain& c) { c.root = stranger; }), {},
       ChainFault::SignatureInvalid, std::nullopt, {}},
      {"the delegation changed after signing", with([](Chain& c) { c.spoilDelegation = true; }), {},
       ChainFault::SignatureInvalid, std::nullopt, {}},
      {"the list changed after signing", with([](Chain& c) { c.signedList += " "; }), {},
       ChainFault::SignatureInvalid, std::nullopt, {}},
      {"the list signed by another release key", with([](Chain& c) { c.release = Key('M'); c.signedList += "x"; }),
       {}, ChainFault::SignatureInvalid, std::nullopt, {}},
      {"the primary remembered as retired", Chain{}, {std::nullopt, {idP}}, ChainFault::RootRetired, std::nullopt, {}},
      {"the primary retired by the backup from this epoch",
       with([&](Chain& c) { c.retirements = {{primary, backup, 3}}; }), {}, ChainFault::RootRetired, std::nullopt, {}},
      {"the primary retired only from a later epoch: not yet remembered",
       with([&](Chain& c) { c.retirements = {{primary, backup, 4}}; }), {}, ChainFault::None, 3u, {}},
      {"the backup delegates and retires the primary",
       with([&](Chain& c) { c.root = backup; c.retirements = {{primary, backup, 3}}; }), {}, ChainFault::None, 3u,
       {idP}},
      {"a retirement the program took before stays", with([&](Chain& c) { c.root = backup; }),
       {std::nullopt, {idP}}, ChainFault::None, 3u, {}},
      {"a retirement by a key the program does not carry counts for nothing",
       with([&](Chain& c) { c.retirements = {{primary, stranger, 1}}; }), {}, ChainFault::None, 3u, {}},
      {"a retirement by a retired key counts for nothing",
       with([&](Chain& c) { c.retirements = {{primary, backup, 1}}; }), {std::nullopt, {idB}}, ChainFault::None, 3u,
       {}},
      {"a retirement whose signature does not verify",
       with([&](Chain& c) { c.root = backup; c.retirements = {{primary, backup, 1, true}}; }), {},
       ChainFault::SignatureInvalid, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = c.chain.Text();
    const auto chain = base::ParseKeyChain(text);
    ASSERT_TRUE(chain) << text;
    EXPECT_EQ(base::KeyChainText(*chain), text) << "read and written back byte for byte";
    const base::ChainVerdict v =
        base::JudgeKeyChain(*chain, list, {primary, backup}, "Notizkasten", c.memory, kToday + 0.99, FakeVerify);
    EXPECT_EQ(v.fault, c.fault);
    EXPECT_EQ(v.epoch, c.epoch);
    EXPECT_EQ(v.retire, c.retire);
  }
}

// The chain file as a server may send it: only the one form is read.
TEST(KeyChain, OnlyTheOneFormIsRead) {
  const std::string good = Chain{}.Text();
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    const size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? t : t.replace(at, from.size(), to);
  };
  std::string lf = good;
  for (size_t at; (at = lf.find('\r')) != std::string::npos;) lf.erase(at, 1);
  EXPECT_TRUE(base::ParseKeyChain(lf)) << "lines ending in LF alone";
  EXPECT_TRUE(base::ParseKeyChain(replaced("Epoch=3", "Epoch=4294967295")));
  const std::string refused[] = {
      "",
      good.substr(0, good.size() - 2),                              // the last line without its break
      good + "\r\n",                                                // an empty line
      good + "[List]\r\nSignature=x\r\n",                           // a second list record
      replaced("[List]\r\n", ""),                                   // no list record
      replaced("Epoch=3", "Epoch=03"),                              // a second text for a number
      replaced("Epoch=3", "Epoch=0"),
      replaced("Epoch=3", "Epoch=4294967296"),
      replaced("Epoch=3", "Epoch= 3"),
      replaced("Epoch=3", "Epoch=-3"),
      replaced("Expires=31.12.2027", "Expires=31.02.2027"),         // no day
      replaced("Expires=31.12.2027", "Expires=1.1.2027"),           // not the written form
      replaced("Expires=31.12.2027", "Expires=2027-12-31"),
      replaced("KeyId=" + base::KeyId(Key('L')), "KeyId=" + base::KeyId(Key('M'))),  // another key's id
      replaced("Programs=*", "Programs="),
      replaced("Programs=*", "Programs=Waage,,Notizkasten"),
      replaced("Programs=*", "Programs=Waage, Notizkasten"),
      replaced("Programs=*", "Programs=Waage,*"),
      replaced("Programs=*", "Programs=Waage\tNotizkasten"),       // a control character
      replaced("Root=", "Root=0"),                                  // 17 digits
      replaced("Root=" + base::KeyId(Key('R')), "Root=" + std::string(16, 'X')),
      replaced("[Delegation]", "[delegation]"),
      replaced("Key=", "Key= "),
      replaced("Programs=*\r\nEpoch=3", "Epoch=3\r\nPrograms=*"),   // another order
      replaced("[List]", "Comment=x\r\n[List]"),                     // a field of no record
      replaced("Signature=", "Signature=AAAA"),                      // not 64 bytes
      good + std::string(base::kKeyChainLimit, 'x'),
  };
  for (const std::string& text : refused) EXPECT_FALSE(base::ParseKeyChain(text)) << text;

  // Retirements: at most two, never by the key they retire.
  Chain c;
  c.retirements = {{Key('R'), Key('S'), 1}, {Key('S'), Key('R'), 1}};
  EXPECT_TRUE(base::ParseKeyChain(c.Text()));
  c.retirements.push_back({Key('T'), Key('R'), 1});
  EXPECT_FALSE(base::ParseKeyChain(c.Text()));
  c.retirements = {{Key('R'), Key('R'), 1}};
  EXPECT_FALSE(base::ParseKeyChain(c.Text()));
  // The maker's delegation file: the records without the list's signature.
  const std::string records = good.substr(0, good.find("[List]"));
  EXPECT_TRUE(base::ParseKeyChain(records, false));
  EXPECT_FALSE(base::ParseKeyChain(records));
  EXPECT_FALSE(base::ParseKeyChain(good, false));
}

// The root keys a build puts into a program, and the retired key ids its key remembers.
TEST(KeyChain, RootKeysAndRetiredIds) {
  const std::string a = base::EncodeBase64(Key('R')), b = base::EncodeBase64(Key('S'));
  struct Case {
    std::string text;
    size_t keys;  // 0: refused
  } cases[] = {
      {a, 1},       {a + "\r\n", 1},          {a + "," + b, 2},     {" " + a + " , " + b + "\r\n", 2},
      {a + "," + a, 0},                       {a + "," + b + "," + base::EncodeBase64(Key('T')), 0},
      {a + ",", 0}, {"," + a, 0},             {"", 0},              {a + ";" + b, 0},
      {a + "," + base::EncodeBase64(Key('R').substr(0, 8) + Key('S').substr(8)), 0},  // one key id for two
  };
  for (const Case& c : cases) {
    const auto keys = base::ParseRootKeys(c.text);
    EXPECT_EQ(keys ? keys->size() : 0u, c.keys) << c.text;
  }
  const std::string idR = base::KeyId(Key('R')), idS = base::KeyId(Key('S'));
  EXPECT_EQ(idR, "5252525252525252");
  EXPECT_EQ(base::ReadRetiredIds(base::RetiredIdsText({idR, idS})), (std::vector<std::string>{idR, idS}));
  EXPECT_EQ(base::ReadRetiredIds(" " + idR + ",kaputt,," + idR + "," + idS.substr(1)), std::vector<std::string>{idR});
  EXPECT_TRUE(base::ReadRetiredIds("").empty());
}

}  // namespace
