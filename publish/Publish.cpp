// trelkpublish's commands over libsodium (keys, signature, SHA-256) and libzip (the archive),
// with the update list's rules from publish_rules.
#include "publish/Publish.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <ostream>

#include "base/DateTime.h"
#include "base/key_chain.h"
#include "base/signed_update.h"
#include "base/zip_rules.h"
#include "publish/Archives.h"
#include "publish/Files.h"
#include "publish/publish_rules.h"
#include "publish/template_rules.h"
#include "publish/verify_rules.h"

namespace publish {

const char kPublicKeyFile[] = "update-public.key";
const char kSecretKeyFile[] = "update-secret.key";
const char kListFile[] = "Updates.ini";
const char kSignatureFile[] = "Updates.ini.sig";
const char kChainFile[] = "Updates.ini.chain";
const char kRootPublicKeyFile[] = "root-public.key";
const char kRootSecretKeyFile[] = "root-secret.key";
const char kArchiveFolder[] = "Updates";

namespace {

void InitSodium() {
  if (sodium_init() < 0) throw EPublishError("The cryptography library cannot start (no random source?).");
}

std::string Sha256(std::string_view bytes) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

bool VerifySignature(std::string_view signature, std::string_view message, std::string_view publicKey) {
  if (signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES) return false;
  return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()),
                                     reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                     reinterpret_cast<const unsigned char*>(publicKey.data())) == 0;
}

// The secret key wiped when it goes out of scope.
struct SecretKey {
  unsigned char bytes[crypto_sign_SECRETKEYBYTES];
  SecretKey() { sodium_memzero(bytes, sizeof bytes); }
  SecretKey(const SecretKey&) = delete;
  SecretKey& operator=(const SecretKey&) = delete;
  ~SecretKey() { sodium_memzero(bytes, sizeof bytes); }
};

void ReadSecretKey(const std::string& path, SecretKey& key) {
  auto text = TryReadFile(path);
  if (!text) throw EPublishError("The secret key file \"" + path + "\" does not exist.");
  auto bytes = base::DecodeBase64(base::TrimBlanksAndBreaks(*text));
  sodium_memzero(text->data(), text->size());
  if (!bytes || bytes->size() != crypto_sign_SECRETKEYBYTES) {
    if (bytes) sodium_memzero(bytes->data(), bytes->size());
    throw EPublishError("\"" + path + "\" is no secret key file of trelkpublish keygen (one line of Base64 of 64 bytes).");
  }
  std::memcpy(key.bytes, bytes->data(), sizeof key.bytes);
  sodium_memzero(bytes->data(), bytes->size());
  // The key's second half is its public key; a key pair made anew from the first half must
  // give the same, or the file is damaged.
  SecretKey again;
  unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
  crypto_sign_seed_keypair(publicKey, again.bytes, key.bytes);
  if (sodium_memcmp(again.bytes, key.bytes, sizeof key.bytes) != 0)
    throw EPublishError("The secret key in \"" + path + "\" is damaged: its two halves do not belong together.");
}

std::string ReadPublicKey(const std::string& path) {
  auto text = TryReadFile(path);
  if (!text) throw EPublishError("The public key file \"" + path + "\" does not exist.");
  auto bytes = base::DecodeBase64(base::TrimBlanksAndBreaks(*text));
  if (!bytes || bytes->size() != crypto_sign_PUBLICKEYBYTES)
    throw EPublishError("\"" + path + "\" is no public key file of trelkpublish keygen (one line of Base64 of 32 bytes).");
  return *bytes;
}

// ---- keygen ---------------------------------------------------------------------------------

int Keygen(const Arguments& a, std::ostream& out) {
  InitSodium();
  const std::string publicPath = JoinPath(a.keyFolder, a.rootKey ? kRootPublicKeyFile : kPublicKeyFile);
  const std::string secretPath = JoinPath(a.keyFolder, a.rootKey ? kRootSecretKeyFile : kSecretKeyFile);
  for (const std::string& path : {publicPath, secretPath})
    if (PathExists(path))
      throw EPublishError("\"" + path + "\" exists already; keygen never replaces a key file. Choose another folder.");
  MakeDirectory(a.keyFolder);
  unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
  SecretKey secret;
  crypto_sign_keypair(publicKey, secret.bytes);
  std::string secretText = base::EncodeBase64(std::string_view(reinterpret_cast<char*>(secret.bytes), sizeof secret.bytes)) + "\r\n";
  const std::string publicText = base::EncodeBase64(std::string_view(reinterpret_cast<char*>(publicKey), sizeof publicKey));
  try {
    CreateNewFile(secretPath, secretText, true);
  } catch (...) {
    sodium_memzero(secretText.data(), secretText.size());
    throw;
  }
  sodium_memzero(secretText.data(), secretText.size());
  try {
    CreateNewFile(publicPath, publicText + "\r\n", false);
  } catch (...) {
    RemoveFileNoThrow(secretPath);
    throw;
  }
  out << "Public key: " << publicText << "\n"
      << "Public key file: " << publicPath << "\n"
      << "Secret key file: " << secretPath
      << (a.rootKey ? " (keep it off every server; it signs the delegations of your release keys)\n"
                    : " (keep it to yourself; it signs your updates)\n");
  return 0;
}

// The one-line signature file's text of `bytes`.
std::string SignatureText(const std::string& bytes, const SecretKey& secret) {
  unsigned char signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                       secret.bytes);
  return base::EncodeBase64(std::string_view(reinterpret_cast<char*>(signature), sizeof signature));
}

// The public half of a secret key.
std::string PublicKeyOf(const SecretKey& secret) {
  return std::string(reinterpret_cast<const char*>(secret.bytes) + crypto_sign_SEEDBYTES, crypto_sign_PUBLICKEYBYTES);
}

std::string Sign(std::string_view bytes, const SecretKey& secret) {
  unsigned char signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                       secret.bytes);
  return std::string(reinterpret_cast<char*>(signature), sizeof signature);
}

// The records of a delegation file (or of the chain on the server), read as the programs read them.
base::KeyChain ReadDelegation(const std::string& path, bool withList) {
  auto text = TryReadFile(path);
  if (!text) throw EPublishError("The delegation file \"" + path + "\" does not exist.");
  auto chain = base::ParseKeyChain(*text, withList);
  if (!chain)
    throw EPublishError("\"" + path + "\" is no " + (withList ? "chain" : "delegation file") +
                        " of trelkpublish (a record changed by hand, or cut short).");
  return *chain;
}

// The signatures beside the list `listBytes`: with a delegation (--delegation, or the chain the
// server has) the release key's in Updates.ini.chain and --legacy-key's (if given) in
// Updates.ini.sig; without one the key's own in Updates.ini.sig, as always. Made before anything
// is written, so that a wrong key leaves the folder as it was; Write() puts them there.
struct Signatures {
  std::string sigPath, chainPath;
  std::optional<std::string> sig, chain;  // what to write; none: the file goes (sig) or stays untouched (chain)
  std::string report;
  void Write() const {
    if (chain) WriteFileReplacing(chainPath, *chain);
    if (sig) WriteFileReplacing(sigPath, *sig);
    else RemoveFileNoThrow(sigPath);
  }
};
Signatures MakeSignatures(const Arguments& a, const std::string& listBytes, const SecretKey& secret) {
  Signatures s;
  s.sigPath = JoinPath(a.server, kSignatureFile);
  s.chainPath = JoinPath(a.server, kChainFile);
  std::optional<base::KeyChain> chain;
  if (!a.delegation.empty()) chain = ReadDelegation(a.delegation, false);
  else if (PathExists(s.chainPath)) chain = ReadDelegation(s.chainPath, true);
  if (!chain) {
    if (!a.legacyKey.empty()) throw EPublishError("--legacy-key signs beside a delegation only; give --delegation.");
    s.sig = SignatureText(listBytes, secret) + "\r\n";
    s.report = "Signed " + JoinPath(a.server, kListFile) + " -> " + s.sigPath + "\n";
    return s;
  }
  if (chain->delegation.key != PublicKeyOf(secret))
    throw EPublishError("The key " + a.key + " is not the release key of the delegation (key id " +
                        base::KeyId(chain->delegation.key) + "); sign with that key, or delegate this one.");
  chain->listSignature = Sign(listBytes, secret);
  s.chain = base::KeyChainText(*chain);
  s.report = "Signed " + JoinPath(a.server, kListFile) + " -> " + s.chainPath + " (release key " +
             base::KeyId(chain->delegation.key) + ", epoch " + std::to_string(chain->delegation.epoch) +
             ", delegated until " + chain->delegation.expiresText + ")\n";
  if (!a.legacyKey.empty()) {
    SecretKey legacy;
    ReadSecretKey(a.legacyKey, legacy);
    s.sig = SignatureText(listBytes, legacy) + "\r\n";
    s.report += "Signed " + JoinPath(a.server, kListFile) + " -> " + s.sigPath + " (the one key " +
                base::KeyId(PublicKeyOf(legacy)) + " of programs built with one key)\n";
  } else if (PathExists(s.sigPath)) {
    s.report += "Removed " + s.sigPath + ": programs built with one key install nothing from here on.\n";
  }
  return s;
}

// ---- delegate, retire -----------------------------------------------------------------------

int Delegate(const Arguments& a, std::ostream& out) {
  InitSodium();
  SecretKey root;
  ReadSecretKey(a.rootSecret, root);
  const std::string release = ReadPublicKey(a.releasePublic);
  std::vector<std::string> programs;
  if (a.programs != "*") {
    size_t b = 0;
    const std::string names = ListTextFromArgument(a.programs, "The program names");
    while (b <= names.size()) {
      const size_t e = std::min(names.find(',', b), names.size());
      programs.push_back(names.substr(b, e - b));
      b = e + 1;
    }
  }
  base::KeyChain chain;
  chain.delegation.signedText =
      base::DelegationText(release, programs, a.epoch, a.expires, base::KeyId(PublicKeyOf(root)));
  chain.delegation.signature = Sign(chain.delegation.signedText, root);
  const std::string text = base::KeyChainText(chain);
  // What the programs will read: a name they cannot hold is refused here.
  if (!base::ParseKeyChain(text, false))
    throw EPublishError("The programs \"" + a.programs + "\" cannot be delegated: names separated by \",\", none "
                        "empty, with a blank at either end or \"*\"; or \"*\" alone for all.");
  WriteFileReplacing(a.out, text);
  out << "Delegated release key " << base::KeyId(release) << " by root key " << base::KeyId(PublicKeyOf(root))
      << ": " << (programs.empty() ? std::string("every program") : ConsoleTextFromList(a.programs)) << ", epoch "
      << a.epoch << ", until " << a.expires << "\n"
      << "Delegation file: " << a.out << " (give it to publish with --delegation)\n";
  return 0;
}

int Retire(const Arguments& a, std::ostream& out) {
  InitSodium();
  SecretKey root;
  ReadSecretKey(a.rootSecret, root);
  const std::string retired = ReadPublicKey(a.retiredPublic);
  const std::string by = base::KeyId(PublicKeyOf(root)), retiredId = base::KeyId(retired);
  if (retiredId == by) throw EPublishError("A root key is retired by the other root key, never by itself.");
  base::KeyChain chain = ReadDelegation(a.delegation, false);
  std::vector<base::Retirement> kept;
  for (const base::Retirement& r : chain.retirements)
    if (r.root != retiredId) kept.push_back(r);
  if (kept.size() == base::kMaxRetirements) throw EPublishError("The delegation file holds two retirements already.");
  base::Retirement record;
  record.root = retiredId;
  record.from = a.epoch;
  record.by = by;
  record.signedText = base::RetirementText(retiredId, a.epoch, by);
  record.signature = Sign(record.signedText, root);
  kept.push_back(record);
  chain.retirements = kept;
  WriteFileReplacing(a.delegation, base::KeyChainText(chain));
  out << "Retired root key " << retiredId << " from epoch " << a.epoch << " (signed by root key " << by << ") in "
      << a.delegation << "\n";
  if (chain.delegation.epoch < a.epoch || chain.delegation.root == retiredId)
    out << "Note: the delegation in it (epoch " << chain.delegation.epoch << ", root key " << chain.delegation.root
        << ") is not one the programs take with this record; delegate again with root key " << by
        << " and an epoch of at least " << a.epoch << ", then retire again.\n";
  return 0;
}

// ---- publish --------------------------------------------------------------------------------

// The files of `from`, and the template the archive carries: the folder's own "Update.bat" as
// it is, or one written here for its files (Windows-1252 names) with `options` (then `generated`).
std::vector<ArchiveEntry> FilesToPack(const std::string& from, const TemplateOptions& options, bool& generated) {
  if (!IsDirectory(from)) throw EPublishError("The folder \"" + from + "\" does not exist.");
  std::vector<ArchiveEntry> entries;
  bool batch = false;
  for (const FolderEntry& e : ListFolder(from)) {
    if (e.directory)
      throw EPublishError("\"" + from + "\" holds the folder \"" + e.name + "\": the programs unpack every file into "
                          "one folder, so give the files at the top level only.");
    ArchiveEntry entry;
    entry.name = ListTextFromArgument(e.name, "The file name \"" + e.name + "\"");
    if (auto refusal = FileNameRefusal(entry.name))
      throw EPublishError("The file name \"" + e.name + "\" is refused by the programs: " + *refusal + ".");
    // Two names that Windows takes for one file (a folder of another system can hold both).
    for (const ArchiveEntry& other : entries)
      if (base::FileNameKey(other.name) == base::FileNameKey(entry.name))
        throw EPublishError("The file names \"" + ConsoleTextFromList(other.name) + "\" and \"" + e.name +
                            "\" name one file on Windows; the programs would unpack only the first.");
    auto bytes = TryReadFile(JoinPath(from, e.name));
    if (!bytes) throw EPublishError("\"" + JoinPath(from, e.name) + "\" cannot be read.");
    entry.bytes = std::move(*bytes);
    entry.modified = e.modified;
    std::string lower = entry.name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    if (lower == "update.bat") {
      batch = true;
      if (auto refusal = BatchTemplateRefusal(entry.bytes))
        throw EPublishError("\"" + JoinPath(from, e.name) + "\" is refused by the programs: " +
                            ConsoleTextFromList(*refusal));
    }
    entries.push_back(std::move(entry));
  }
  if (!batch) {
    std::vector<std::string> names;
    for (const ArchiveEntry& e : entries) names.push_back(e.name);
    ArchiveEntry written;
    written.name = "Update.bat";
    try {
      written.bytes = SafeUpdateTemplate(names, options);
    } catch (const EPublishError& e) {
      throw EPublishError("\"" + from + "\" holds no Update.bat, and the one publish writes cannot be made: " +
                          ConsoleTextFromList(e.Message()));
    }
    // The batch the programs make of it must pass their own rules, like a maker's template.
    if (auto refusal = BatchTemplateRefusal(written.bytes))
      throw EPublishError("The Update.bat written for \"" + from + "\" is refused by the programs: " +
                          ConsoleTextFromList(*refusal));
    for (const ArchiveEntry& e : entries) written.modified = std::max(written.modified, e.modified);
    entries.push_back(std::move(written));
    generated = true;
  }
  return entries;
}

ServerView ViewOf(const std::string& server) {
  ServerView view;
  view.list = TryReadFile(JoinPath(server, kListFile));
  view.signature = TryReadFile(JoinPath(server, kSignatureFile));
  view.chain = TryReadFile(JoinPath(server, kChainFile));
  view.readArchive = [server](const std::string& file) -> std::optional<std::string> {
    std::string path = JoinPath(server, kArchiveFolder);
    size_t b = 0;
    while (b <= file.size()) {
      size_t e = file.find('/', b);
      if (e == std::string::npos) e = file.size();
      if (e > b) path = JoinPath(path, file.substr(b, e - b));
      b = e + 1;
    }
    return TryReadFile(path);
  };
  view.sha256 = Sha256;
  view.verify = VerifySignature;
  view.archiveEntries = ArchiveEntryNames;
  view.entryBytes = ArchiveEntryBytes;
  const LocalDate today = Today();
  view.today = base::TryEncodeDate(today.year, today.month, today.day).value_or(0);
  view.archiveProblems = ArchiveProblems;
  return view;
}

int Publish(const Arguments& a, std::ostream& out, std::ostream& err) {
  InitSodium();
  SecretKey secret;
  ReadSecretKey(a.key, secret);
  const std::string program = ListTextFromArgument(a.program, "The program name");
  std::vector<std::string> news;
  for (const std::string& item : a.news) news.push_back(ListTextFromArgument(item, "The news item \"" + item + "\""));

  TemplateOptions options;
  if (!a.registryRoot.empty()) ParseRegistryRoot(a.registryRoot, options.root);
  options.registryKey = a.registryKey.empty() ? program : ListTextFromArgument(a.registryKey, "The registry key");
  if (a.waitSeconds) options.waitSeconds = a.waitSeconds;
  bool generated = false;
  std::vector<ArchiveEntry> entries = FilesToPack(a.from, options, generated);
  const std::string archive = MakeArchive(entries);
  const std::string hash = base::HexText(Sha256(archive));

  const std::string listPath = JoinPath(a.server, kListFile);
  auto oldList = TryReadFile(listPath);
  UpdateList list(oldList ? *oldList : std::string());
  const LocalDate today = Today();
  const std::string todayText = FormatReleaseDate(today.year, today.month, today.day);
  const std::string date = a.date.empty() ? todayText : a.date;
  // dd.MM.yyyy compares as yyyyMMdd.
  auto sortable = [](const std::string& d) { return d.substr(6, 4) + d.substr(3, 2) + d.substr(0, 2); };
  const bool future = sortable(date) > sortable(todayText);
  std::vector<std::pair<std::string, std::string>> values = {{"Date", date}, {"File", a.file}};
  if (a.newsGiven) values.emplace_back("News", NewsValue(news));
  values.emplace_back("SHA256", hash);
  values.emplace_back(base::kSizeKey, std::to_string(archive.size()));
  // A rollout starts today; a new version without one is not held back by the last one's.
  if (a.rollout >= 0) {
    values.emplace_back("Rollout", std::to_string(a.rollout));
    values.emplace_back("RolloutStart", todayText);
  } else if (list.ReadValue(program, "Rollout")) {
    values.emplace_back("Rollout", "100");
  }
  const std::string expires = a.expires.empty() ? DateAfter(today.year, today.month, today.day, kDefaultListDays) : a.expires;
  std::uint32_t serial = 0;
  try {
    list.SetValues(program, values);
    serial = RenewList(list, expires);
  } catch (const EPublishError& e) {
    throw EPublishError(ConsoleTextFromList(e.Message()));
  }
  const std::string listBytes = list.Bytes();
  const Signatures signatures = MakeSignatures(a, listBytes, secret);

  // Nothing is written before here: a refused publish leaves the folder as it was.
  MakeDirectory(a.server);
  const std::string archiveFolder = JoinPath(a.server, kArchiveFolder);
  MakeDirectory(archiveFolder);
  const std::string archivePath = JoinPath(archiveFolder, a.file);
  WriteFileReplacing(archivePath, archive);
  WriteFileReplacing(listPath, listBytes);
  signatures.Write();

  out << "Published [" << ConsoleTextFromList(program) << "]: " << archivePath << " (" << entries.size() << " files, "
      << archive.size() << " bytes, SHA256 " << hash << ")\n"
      << "Date " << date << (a.newsGiven ? ", " + std::to_string(news.size()) + " news item(s)" : ", News left as it was")
      << "\n"
      << "Serial " << serial << ", good until " << expires << "\n"
      << (a.rollout >= 0 ? "Rollout " + std::to_string(a.rollout) + " % from today, doubling weekly\n" : std::string())
      << signatures.report;
  if (generated)
    out << "Update.bat written by trelkpublish (the folder has none): " << entries.size() - 1
        << " file(s), each put back when one fails, up to " << options.waitSeconds << " s for a file in use, outcome in "
        << RegistryRootName(options.root) << "\\Software\\Trelk\\" << options.registryKey << " as "
        << kUpdateResultValue << "\n";
  else
    out << "Update.bat: the folder's own, packed as it is"
        << (a.registryKey.empty() && a.registryRoot.empty() && !a.waitSeconds
                ? ""
                : " (--registry-key, --registry-root and --wait apply only to the one publish writes)")
        << "\n";

  if (future)
    err << "Note: the date " << date << " lies after today: a program that installs this update before then "
        << "is offered it again at every check until that day.\n";

  // The rest of the folder as the programs will see it, so that the maker hears of an old
  // section that a program with the public key would refuse.
  // With a delegation the release key signs the chain, not Updates.ini.sig: the list's sections
  // are checked without the one-line signature.
  const bool chained = PathExists(JoinPath(a.server, kChainFile));
  auto problems = CheckServer(ViewOf(a.server), chained ? std::optional<std::string>() : PublicKeyOf(secret));
  if (!problems.empty()) {
    err << "Note: the folder has " << problems.size() << " problem(s) apart from this update:\n";
    for (const std::string& p : problems) err << "  " << ConsoleTextFromList(p) << "\n";
  }
  return 0;
}

// ---- renew ----------------------------------------------------------------------------------

int Renew(const Arguments& a, std::ostream& out) {
  InitSodium();
  SecretKey secret;
  ReadSecretKey(a.key, secret);
  const std::string listPath = JoinPath(a.server, kListFile);
  auto bytes = TryReadFile(listPath);
  if (!bytes) throw EPublishError("\"" + listPath + "\" does not exist; publish an update first.");
  UpdateList list(*bytes);
  const LocalDate today = Today();
  const std::string expires = a.expires.empty() ? DateAfter(today.year, today.month, today.day, kDefaultListDays) : a.expires;
  std::uint32_t serial = 0;
  std::string program;
  try {
    if (a.rollout >= 0) {
      program = ListTextFromArgument(a.program, "The program name");
      if (!list.HasSection(program))
        throw EPublishError("The list has no section [" + program + "]; publish its update first.");
      list.SetValues(program, {{"Rollout", std::to_string(a.rollout)},
                               {"RolloutStart", FormatReleaseDate(today.year, today.month, today.day)}});
    }
    serial = RenewList(list, expires);
  } catch (const EPublishError& e) {
    throw EPublishError(ConsoleTextFromList(e.Message()));
  }
  const std::string listBytes = list.Bytes();
  const Signatures signatures = MakeSignatures(a, listBytes, secret);
  WriteFileReplacing(listPath, listBytes);
  signatures.Write();
  out << "Renewed " << listPath << ": serial " << serial << ", good until " << expires << "\n";
  if (a.rollout >= 0)
    out << "Rollout of [" << ConsoleTextFromList(program) << "]: " << a.rollout << " % from today, doubling weekly\n";
  out << signatures.report;
  return 0;
}

// ---- verify ---------------------------------------------------------------------------------

int Verify(const Arguments& a, std::ostream& out, std::ostream& err) {
  InitSodium();
  if (!IsDirectory(a.server)) throw EPublishError("The server folder \"" + a.server + "\" does not exist.");
  std::optional<std::string> publicKey;
  if (!a.publicKey.empty()) publicKey = ReadPublicKey(a.publicKey);
  std::vector<std::string> roots;
  for (const std::string& path : a.rootKeys) roots.push_back(ReadPublicKey(path));
  if (roots.size() == 2 && base::KeyId(roots[0]) == base::KeyId(roots[1]))
    throw EPublishError("The two root keys have one key id; a program cannot carry both.");
  ServerView view = ViewOf(a.server);
  auto problems = CheckServer(view, publicKey);
  std::vector<std::string> warnings = ListWarnings(view), taken;
  // Which programs take the list is news only beside the root keys: --public alone says it as always.
  const auto oneLine = view.signature ? base::ParseSignatureFile(*view.signature) : std::nullopt;
  if (publicKey && !roots.empty() && view.list && oneLine && VerifySignature(*oneLine, *view.list, *publicKey))
    taken.push_back("Programs built with the one key " + base::KeyId(*publicKey) + " take the list (Updates.ini.sig).");
  if (!roots.empty()) {
    const ChainCheck chain = CheckChain(view, roots);
    problems.insert(problems.end(), chain.problems.begin(), chain.problems.end());
    warnings.insert(warnings.end(), chain.warnings.begin(), chain.warnings.end());
    taken.insert(taken.end(), chain.taken.begin(), chain.taken.end());
  }
  for (const std::string& p : problems) err << ConsoleTextFromList(p) << "\n";
  for (const std::string& w : warnings) err << "Warning: " << ConsoleTextFromList(w) << "\n";
  for (const std::string& t : taken) out << ConsoleTextFromList(t) << "\n";
  size_t sections = 0;
  if (view.list) {
    try {
      for (const std::string& name : UpdateList(*view.list).SectionNames())
        if (!SameName(name, base::kListSection)) ++sections;
    } catch (const EPublishError&) {
    }
  }
  if (!publicKey && roots.empty()) out << "The signature was not checked (no --public given).\n";
  if (problems.empty()) {
    out << a.server << ": " << sections << " section(s) checked, no problems"
        << (publicKey || !roots.empty() ? ", signature right.\n" : ".\n");
    return 0;
  }
  err << problems.size() << " problem(s) found in " << a.server << ".\n";
  return 1;
}

}  // namespace

// ---- The commands ---------------------------------------------------------------------------

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments a;
  try {
    a = ParseArguments(args);
  } catch (const EPublishError& e) {
    err << "trelkpublish: " << e.Message() << "\n\n" << UsageText();
    return 2;
  }
  try {
    switch (a.command) {
      case Command::Keygen: return Keygen(a, out);
      case Command::Publish: return Publish(a, out, err);
      case Command::Renew: return Renew(a, out);
      case Command::Verify: return Verify(a, out, err);
      case Command::Delegate: return Delegate(a, out);
      case Command::Retire: return Retire(a, out);
      case Command::Help: out << UsageText(); return 0;
    }
  } catch (const EPublishError& e) {
    err << "trelkpublish: " << e.Message() << "\n";
  } catch (const std::exception& e) {
    err << "trelkpublish: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace publish
