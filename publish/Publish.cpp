// trelkpublish's commands over libsodium (keys, signature, SHA-256) and libzip (the archive),
// with the update list's rules from publish_rules.
#include "publish/Publish.h"

#include <sodium.h>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ostream>

#include "base/DateTime.h"
#include "publish/Files.h"
#include "publish/publish_rules.h"
#include "base/batch_template.h"
#include "base/list_dates.h"
#include "base/signed_update.h"
#include "base/zip_rules.h"

namespace publish {

const char kPublicKeyFile[] = "update-public.key";
const char kSecretKeyFile[] = "update-secret.key";
const char kListFile[] = "Updates.ini";
const char kSignatureFile[] = "Updates.ini.sig";
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
  const std::string publicPath = JoinPath(a.keyFolder, kPublicKeyFile);
  const std::string secretPath = JoinPath(a.keyFolder, kSecretKeyFile);
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
      << "Secret key file: " << secretPath << " (keep it to yourself; it signs your updates)\n";
  return 0;
}

// ---- publish --------------------------------------------------------------------------------

std::vector<ArchiveEntry> FilesToPack(const std::string& from) {
  if (!IsDirectory(from)) throw EPublishError("The folder \"" + from + "\" does not exist.");
  std::vector<ArchiveEntry> entries;
  bool batch = false;
  for (const FolderEntry& e : ListFolder(from)) {
    if (e.directory)
      throw EPublishError("\"" + from + "\" holds the folder \"" + e.name + "\": the programs unpack every file into "
                          "one folder, so give the files at the top level only.");
    ArchiveEntry entry;
    entry.name = ListTextFromArgument(e.name, "The file name \"" + e.name + "\"");
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
  if (!batch)
    throw EPublishError("\"" + from + "\" holds no Update.bat: the programs install an update through the batch "
                        "template that travels in the archive.");
  return entries;
}

ServerView ViewOf(const std::string& server) {
  ServerView view;
  view.list = TryReadFile(JoinPath(server, kListFile));
  view.signature = TryReadFile(JoinPath(server, kSignatureFile));
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

  std::vector<ArchiveEntry> entries = FilesToPack(a.from);
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
  try {
    list.SetValues(program, values);
  } catch (const EPublishError& e) {
    throw EPublishError(ConsoleTextFromList(e.Message()));
  }
  const std::string listBytes = list.Bytes();

  unsigned char signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(listBytes.data()), listBytes.size(),
                       secret.bytes);
  const std::string signatureText = base::EncodeBase64(std::string_view(reinterpret_cast<char*>(signature), sizeof signature));

  // Nothing is written before here: a refused publish leaves the folder as it was.
  MakeDirectory(a.server);
  const std::string archiveFolder = JoinPath(a.server, kArchiveFolder);
  MakeDirectory(archiveFolder);
  const std::string archivePath = JoinPath(archiveFolder, a.file);
  WriteFileReplacing(archivePath, archive);
  WriteFileReplacing(listPath, listBytes);
  WriteFileReplacing(JoinPath(a.server, kSignatureFile), signatureText + "\r\n");

  out << "Published [" << ConsoleTextFromList(program) << "]: " << archivePath << " (" << entries.size() << " files, "
      << archive.size() << " bytes, SHA256 " << hash << ")\n"
      << "Date " << date << (a.newsGiven ? ", " + std::to_string(news.size()) + " news item(s)" : ", News left as it was")
      << "\n"
      << "Signed " << listPath << " -> " << JoinPath(a.server, kSignatureFile) << "\n";

  if (future)
    err << "Note: the date " << date << " lies after today: a program that installs this update before then "
        << "is offered it again at every check until that day.\n";

  // The rest of the folder as the programs will see it, so that the maker hears of an old
  // section that a program with the public key would refuse.
  std::string publicKey(reinterpret_cast<char*>(secret.bytes) + crypto_sign_SEEDBYTES, crypto_sign_PUBLICKEYBYTES);
  auto problems = CheckServer(ViewOf(a.server), publicKey);
  if (!problems.empty()) {
    err << "Note: the folder has " << problems.size() << " problem(s) apart from this update:\n";
    for (const std::string& p : problems) err << "  " << ConsoleTextFromList(p) << "\n";
  }
  return 0;
}

// ---- verify ---------------------------------------------------------------------------------

int Verify(const Arguments& a, std::ostream& out, std::ostream& err) {
  InitSodium();
  if (!IsDirectory(a.server)) throw EPublishError("The server folder \"" + a.server + "\" does not exist.");
  std::optional<std::string> publicKey;
  if (!a.publicKey.empty()) publicKey = ReadPublicKey(a.publicKey);
  ServerView view = ViewOf(a.server);
  auto problems = CheckServer(view, publicKey);
  for (const std::string& p : problems) err << ConsoleTextFromList(p) << "\n";
  size_t sections = 0;
  if (view.list) {
    try {
      sections = UpdateList(*view.list).SectionNames().size();
    } catch (const EPublishError&) {
    }
  }
  if (!publicKey) out << "The signature was not checked (no --public given).\n";
  if (problems.empty()) {
    out << a.server << ": " << sections << " section(s) checked, no problems"
        << (publicKey ? ", signature right.\n" : ".\n");
    return 0;
  }
  err << problems.size() << " problem(s) found in " << a.server << ".\n";
  return 1;
}

}  // namespace

// ---- Archives -------------------------------------------------------------------------------

std::string MakeArchive(const std::vector<ArchiveEntry>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (!target) throw EPublishError("Cannot make the archive: out of memory.");
  auto fail = [&](const std::string& what) {
    std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw EPublishError("Cannot make the archive (" + what + "): " + reason + ".");
  };
  zip_t* zip = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  if (!zip) {
    zip_source_free(target);
    fail("open");
  }
  zip_source_keep(target);  // the archive's bytes are read from it after zip_close
  for (const ArchiveEntry& e : entries) {
    zip_source_t* source = zip_source_buffer(zip, e.bytes.data(), e.bytes.size(), 0);
    zip_int64_t index = source ? zip_file_add(zip, e.name.c_str(), source, ZIP_FL_ENC_CP437) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      zip_error_set(&error, zip_error_code_zip(zip_get_error(zip)), zip_error_code_system(zip_get_error(zip)));
      zip_discard(zip);
      zip_source_free(target);
      fail(e.name);
    }
    zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    if (e.modified > 0) zip_file_set_mtime(zip, static_cast<zip_uint64_t>(index), static_cast<time_t>(e.modified), 0);
  }
  if (zip_close(zip) != 0) {
    zip_error_set(&error, zip_error_code_zip(zip_get_error(zip)), zip_error_code_system(zip_get_error(zip)));
    zip_discard(zip);
    zip_source_free(target);
    fail("write");
  }
  std::string bytes;
  if (zip_source_open(target) == 0) {
    zip_source_seek(target, 0, SEEK_END);
    zip_int64_t size = zip_source_tell(target);
    zip_source_seek(target, 0, SEEK_SET);
    if (size > 0) {
      bytes.resize(static_cast<size_t>(size));
      if (zip_source_read(target, bytes.data(), bytes.size()) != size) bytes.clear();
    }
    zip_source_close(target);
  }
  zip_source_free(target);
  zip_error_fini(&error);
  if (bytes.empty()) throw EPublishError("Cannot make the archive: libzip gave no bytes.");
  return bytes;
}

std::optional<std::vector<std::string>> ArchiveEntryNames(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (!source) {
    zip_error_fini(&error);
    return std::nullopt;
  }
  // Opened as the programs open it: their own consistency check (ArchiveProblems) replaces
  // libzip's, which refuses archives of common tools.
  zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (!zip) {
    zip_source_free(source);
    return std::nullopt;
  }
  std::vector<std::string> names;
  zip_int64_t count = zip_get_num_entries(zip, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name) names.emplace_back(name);
  }
  zip_discard(zip);
  return names;
}

std::optional<std::string> ArchiveEntryBytes(const std::string& bytes, size_t index, size_t limit) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  zip_error_fini(&error);
  if (!zip) {
    if (source) zip_source_free(source);
    return std::nullopt;
  }
  std::optional<std::string> text;
  if (zip_file_t* file = zip_fopen_index(zip, index, 0)) {
    // Read in pieces up to one byte past the limit: the sizes in the archive may lie.
    std::string out;
    char buffer[65536];
    zip_int64_t n = 0;
    while (out.size() <= limit && (n = zip_fread(file, buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<size_t>(n));
    if (n >= 0) {
      if (out.size() > limit + 1) out.resize(limit + 1);
      text = std::move(out);
    }
    zip_fclose(file);
  }
  zip_discard(zip);
  return text;
}

namespace {

// An entry name as libzip gives it to the programs (UTF-8) in the list's code page, for messages.
std::string EntryText(const std::string& utf8) {
  try {
    return Utf8ToCp1252(utf8);
  } catch (const EPublishError&) {
    return utf8;
  }
}

// A file name folded for the comparison without regard to case that the file system makes
// (ASCII and the Latin-1 letters of Windows-1252).
std::string FoldedName(const std::string& utf8) {
  std::string text = EntryText(utf8);
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) c = static_cast<char>(u + 0x20);
  }
  return text;
}

std::string FaultSentence(const base::ZipCheck& check) {
  const std::string entry = check.entry < check.entries.size()
                                ? "the entry \"" + EntryText(check.entries[check.entry].name) + "\""
                                : std::string("an entry");
  const std::string local = "the local header of " + entry + " gives another ";
  std::string what;
  switch (check.fault) {
    case base::ZipFault::None: return std::string();
    case base::ZipFault::NoArchive: what = "it has no end record that closes the file"; break;
    case base::ZipFault::DirectoryDamaged: what = "its central directory is damaged"; break;
    case base::ZipFault::HeaderMissing: what = entry + " is not where the central directory puts it"; break;
    case base::ZipFault::NameDiffers: what = local + "name than the central directory"; break;
    case base::ZipFault::MethodDiffers: what = local + "compression method than the central directory"; break;
    case base::ZipFault::FlagsDiffer: what = local + "encryption or data descriptor flag than the central directory"; break;
    case base::ZipFault::CrcDiffers: what = local + "checksum than the central directory"; break;
    case base::ZipFault::SizeDiffers: what = local + "size than the central directory"; break;
    case base::ZipFault::OutsideArchive: what = "the data of " + entry + " reach beyond the archive's data"; break;
    case base::ZipFault::Overlapping: what = entry + " shares its data with another entry"; break;
  }
  return "its records contradict each other (" + what + "); the programs unpack nothing of it.";
}

}  // namespace

std::vector<std::string> ArchiveProblems(const std::string& bytes) {
  std::vector<std::string> problems;
  const base::ZipCheck check = base::CheckZipArchive(bytes.size(), base::ZipReaderOf(bytes));
  if (check.fault == base::ZipFault::NoArchive) return problems;
  if (check.fault != base::ZipFault::None) {
    problems.push_back(FaultSentence(check));
    return problems;
  }
  // The names as the programs' libzip gives them (UTF-8, code page 437 names converted).
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  zip_error_fini(&error);
  if (!zip) {
    if (source) zip_source_free(source);
    problems.push_back("libzip cannot open it; the programs unpack nothing of it.");
    return problems;
  }
  // The same rules as the programs' extraction: skipped names, the first of two entries of one
  // name kept, then what cannot be unpacked.
  std::vector<std::pair<std::string, std::string>> taken;  // file name, entry name
  for (size_t i = 0; i < check.entries.size(); ++i) {
    const char* raw = zip_get_name(zip, i, 0);
    const std::string name = raw ? raw : "";
    const base::ZipEntryRecord& e = check.entries[i];
    auto file = base::ExtractedName(name);
    if (!file) {
      const bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\') && e.size == 0;
      if (!folder)
        problems.push_back("the entry \"" + EntryText(name) +
                           "\" is skipped by the programs: its name is no file name they make.");
      continue;
    }
    auto same = std::find_if(taken.begin(), taken.end(),
                             [&](const std::pair<std::string, std::string>& t) { return t.first == FoldedName(*file); });
    if (same != taken.end()) {
      problems.push_back("the entries \"" + EntryText(same->second) + "\" and \"" + EntryText(name) +
                         "\" are unpacked under one name; the programs keep only the first.");
      continue;
    }
    taken.emplace_back(FoldedName(*file), name);
    if (base::ZipEntryEncrypted(e))
      problems.push_back("the entry \"" + EntryText(name) + "\" is encrypted; the programs cannot unpack it.");
    else if (!base::ZipMethodSupported(e.method))
      problems.push_back("the entry \"" + EntryText(name) + "\" is packed with " + base::ZipMethodName(e.method) +
                         ", which the programs cannot unpack; pack it with Deflate.");
  }
  zip_discard(zip);
  return problems;
}

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
      case Command::Verify: return Verify(a, out, err);
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
