// trelkpublish end to end in this process, natively and under Wine: key pairs, a publish read
// back byte for byte (list, archive, signature), the problems that verify must find, what
// publish refuses, and (on Windows) the list reader held against the platform's own.
#include "publish/Publish.h"
#include "publish/Archives.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sodium.h>
#include <zip.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "base/StrUtils.h"
#include "base/batch_template.h"
#include "base/key_chain.h"
#include "base/zip_rules.h"
#include "publish/Files.h"
#include "publish/publish_rules.h"
#include "base/signed_update.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using publish::JoinPath;

// Text of the test in UTF-8 as it reaches the tool from the command line: natively as it is,
// on Windows in the ANSI code page.
std::string Arg(const std::string& utf8) {
#ifdef _WIN32
  return publish::Utf8ToCp1252(utf8);
#else
  return utf8;
#endif
}

void RemoveTree(const std::string& path) {
  if (publish::IsDirectory(path)) {
    for (const auto& e : publish::ListFolder(path)) RemoveTree(JoinPath(path, e.name));
#ifdef _WIN32
    RemoveDirectoryA(path.c_str());
#else
    ::rmdir(path.c_str());
#endif
  } else {
    publish::RemoveFileNoThrow(path);
  }
}

// A fresh folder per test, removed at its end.
class Scratch {
 public:
  Scratch() {
    static int counter = 0;
#ifdef _WIN32
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "trelkpublish-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
#else
    const char* tmp = getenv("TMPDIR");
    root_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/trelkpublish-test-" + std::to_string(getpid()) + "-" +
            std::to_string(++counter);
#endif
    RemoveTree(root_);
    publish::MakeDirectory(root_);
  }
  ~Scratch() { RemoveTree(root_); }
  std::string operator()(const std::string& name) const { return JoinPath(root_, name); }

 private:
  std::string root_;
};

struct Result {
  int code;
  std::string out, err;
};

Result Tool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = publish::RunTool(args, out, err);
  return {code, out.str(), err.str()};
}

std::string Read(const std::string& path) { return publish::TryReadFile(path).value_or("<missing>"); }
void Write(const std::string& path, const std::string& bytes) { publish::WriteFileReplacing(path, bytes); }

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return base::HexText(std::string(reinterpret_cast<char*>(digest), sizeof digest));
}

// Signs the folder's list anew with a key file, as publish does.
void Resign(const std::string& server, const std::string& secretFile) {
  std::string secret = *base::DecodeBase64(base::TrimBlanksAndBreaks(Read(secretFile)));
  std::string list = Read(JoinPath(server, "Updates.ini"));
  unsigned char signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(list.data()), list.size(),
                       reinterpret_cast<const unsigned char*>(secret.data()));
  Write(JoinPath(server, "Updates.ini.sig"),
        base::EncodeBase64(std::string(reinterpret_cast<char*>(signature), sizeof signature)) + "\r\n");
}

// Changes the folder's list by hand and signs it anew.
void EditList(const std::string& server, const std::string& secretFile, const std::function<void(std::string&)>& edit) {
  std::string list = Read(JoinPath(server, "Updates.ini"));
  edit(list);
  Write(JoinPath(server, "Updates.ini"), list);
  Resign(server, secretFile);
}

// Puts another archive in place of Notizkasten's, with its SHA256 in the list, signed anew.
// dd.MM.yyyy of the day `days` from today by the C library's calendar.
std::string DaysFromToday(int days) {
  std::time_t now = std::time(nullptr);
  std::tm t = *std::localtime(&now);
  t.tm_mday += days;
  t.tm_hour = 12;
  std::mktime(&t);
  char text[16];
  std::strftime(text, sizeof text, "%d.%m.%Y", &t);
  return text;
}

// The list's (one) "Size" line made the length of `archive`.
void SetSize(std::string& list, const std::string& archive) {
  const size_t at = list.find("Size=") + 5;
  list.replace(at, list.find('\r', at) - at, std::to_string(archive.size()));
}

void ReplaceArchive(const std::string& server, const std::string& secretFile, const std::string& batch) {
  const std::string archive = publish::MakeArchive({{"Notizkasten.exe", "MZ"}, {"Update.bat", batch}});
  const std::string old = Sha256Hex(Read(JoinPath(server, JoinPath("Updates", "Notizkasten.zip"))));
  Write(JoinPath(server, JoinPath("Updates", "Notizkasten.zip")), archive);
  EditList(server, secretFile, [&](std::string& list) {
    list.replace(list.find(old), old.size(), Sha256Hex(archive));
    SetSize(list, archive);
  });
}

// The entries of an archive file: raw name and bytes, in archive order.
std::vector<std::pair<std::string, std::string>> Unzip(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> entries;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  zip_error_fini(&error);
  if (!zip) {
    zip_source_free(source);
    return entries;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &st);
    std::string data(static_cast<size_t>(st.size), '\0');
    zip_file_t* f = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
    if (f) {
      zip_fread(f, data.data(), data.size());
      zip_fclose(f);
    }
    entries.emplace_back(zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW), data);
  }
  zip_discard(zip);
  return entries;
}

const char kOtherSections[] =
    "; Update-Liste von Trelk-Software\r\n"
    "[Lager]\r\n"
    "Date=01.02.2003\r\n"
    "File=Lager.zip\r\n"
    "News=\"01.02.2003:Erste Fassung\"\r\n"
    "\r\n";

// A key pair, the new files of Notizkasten and a server folder with another program's section.
struct Maker {
  Scratch dir;
  std::string keys = dir("keys"), server = dir("server"), from = dir("neu");
  std::string secret = JoinPath(keys, "update-secret.key"), publicKey = JoinPath(keys, "update-public.key");
  std::string program = std::string("MZ\x90\0\x03", 5) + std::string(5000, 'p');
  std::string batch = "@echo off\r\n:warten\r\nif not exist \"%sNotizkasten.exe\" goto warten\r\n"
                      "copy /y \"%0:sNotizkasten.exe\" \"%1:sNotizkasten.exe\"\r\n\r\n";

  Maker() {
    EXPECT_EQ(Tool({"keygen", keys}).code, 0);
    publish::MakeDirectory(from);
    Write(JoinPath(from, "Update.bat"), batch);
    Write(JoinPath(from, "Notizkasten.exe"), program);
    publish::MakeDirectory(server);
    Write(JoinPath(server, "Updates.ini"), kOtherSections);
  }
  std::vector<std::string> PublishArgs(std::vector<std::string> extra = {}) const {
    std::vector<std::string> args = {"publish", "--key", secret, "--server", server, "--program", "Notizkasten",
                                     "--from", from, "--file", "Notizkasten.zip", "--date", "15.03.2024"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  Result Verify() const { return Tool({"verify", "--server", server, "--public", publicKey}); }
};

TEST(Publish, KeygenWritesTheKeyPairAndNeverPrintsTheSecret) {
  Scratch dir;
  const std::string keys = dir("schluessel");
  Result r = Tool({"keygen", keys});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string publicText = Read(JoinPath(keys, "update-public.key"));
  const std::string secretText = Read(JoinPath(keys, "update-secret.key"));
  auto publicKey = base::DecodeBase64(base::TrimBlanksAndBreaks(publicText));
  auto secretKey = base::DecodeBase64(base::TrimBlanksAndBreaks(secretText));
  ASSERT_TRUE(publicKey && secretKey) << publicText << secretText;
  EXPECT_EQ(publicKey->size(), 32u);
  EXPECT_EQ(secretKey->size(), 64u);
  EXPECT_TRUE(base::StartsWith(publicText.substr(publicText.size() - 2), "\r\n"));
  EXPECT_EQ(secretKey->substr(32), *publicKey);  // the pair belongs together
  // The secret half never reaches the console, neither whole nor in part.
  const std::string seedText = secretText.substr(0, 42);
  for (size_t i = 0; i + 12 <= seedText.size(); ++i) {
    EXPECT_EQ((r.out + r.err).find(seedText.substr(i, 12)), std::string::npos) << r.out;
  }
  EXPECT_NE(r.out.find("Public key: " + publicText.substr(0, 44) + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(JoinPath(keys, "update-public.key")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(JoinPath(keys, "update-secret.key")), std::string::npos) << r.out;
#ifdef _WIN32
  // The secret file's access list lets in the current user and nobody else but the system
  // itself (Wine adds SYSTEM to every file's list).
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  unsigned char user[256];
  DWORD size = sizeof user;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
  CloseHandle(token);
  char* userSid = nullptr;
  ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &userSid);
  const std::string me = userSid;
  LocalFree(userSid);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(JoinPath(keys, "update-secret.key").c_str(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  std::vector<std::string> allowed;
  for (WORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    char* sid = nullptr;
    ConvertSidToStringSidA(&ace->SidStart, &sid);
    if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE) allowed.push_back(sid);
    LocalFree(sid);
  }
  LocalFree(sd);
  EXPECT_NE(std::find(allowed.begin(), allowed.end(), me), allowed.end());
  for (const std::string& sid : allowed) EXPECT_TRUE(sid == me || sid == "S-1-5-18") << sid;
#else
  struct stat st;
  ASSERT_EQ(::stat(JoinPath(keys, "update-secret.key").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif

  // A second run, or a folder with either file, replaces nothing and writes nothing.
  struct Case {
    const char* name;
    const char* existing;  // the one key file present beforehand; nullptr: both (the folder above)
  } cases[] = {{"both files", nullptr}, {"public file only", "update-public.key"}, {"secret file only", "update-secret.key"}};
  for (const Case& c : cases) {
    std::string folder = keys;
    if (c.existing) {
      folder = dir(std::string("nur-") + c.existing);
      publish::MakeDirectory(folder);
      Write(JoinPath(folder, c.existing), "alt\r\n");
    }
    Result again = Tool({"keygen", folder});
    EXPECT_EQ(again.code, 1) << c.name;
    EXPECT_NE(again.err.find("exists already; keygen never replaces a key file"), std::string::npos) << again.err;
    EXPECT_EQ(again.out, "") << c.name;
    if (c.existing) {
      EXPECT_EQ(publish::ListFolder(folder).size(), 1u) << c.name;
      EXPECT_EQ(Read(JoinPath(folder, c.existing)), "alt\r\n") << c.name;
    } else {
      EXPECT_EQ(Read(JoinPath(keys, "update-public.key")), publicText);
      EXPECT_EQ(Read(JoinPath(keys, "update-secret.key")), secretText);
    }
  }
  EXPECT_EQ(Tool({"keygen", dir("fehlt/tiefer")}).code, 1);  // the parent must exist
}

TEST(Publish, PublishWritesWhatTheProgramsRead) {
  Maker m;
  Write(JoinPath(m.from, Arg("Gr\xC3\xB6\xC3\x9F" "e.txt")), "umlaut");
  Result r = Tool(m.PublishArgs({"--news", Arg("15.03.2024:Suche, schneller"), "--news",
                                Arg("15.03.2024:Gr\xC3\xB6\xC3\x9F" "e"), "--news", "Fix"}));
  ASSERT_EQ(r.code, 0) << r.err;
  // Lager's archive is not in the folder: publish mentions it and goes on.
  EXPECT_EQ(r.err, "Note: the folder has 1 problem(s) apart from this update:\n"
                   "  Section [Lager]: the archive Updates/Lager.zip is missing.\n");
  EXPECT_NE(r.out.find("\nUpdate.bat: the folder's own, packed as it is\n"), std::string::npos) << r.out;

  const std::string archive = Read(JoinPath(m.server, JoinPath("Updates", "Notizkasten.zip")));
  const std::string hash = Sha256Hex(archive);
  const std::string list = Read(JoinPath(m.server, "Updates.ini"));
  EXPECT_EQ(list, std::string(kOtherSections) +
                      "[Notizkasten]\r\n"
                      "Date=15.03.2024\r\n"
                      "File=Notizkasten.zip\r\n"
                      "News=\"15.03.2024:Suche, schneller\",15.03.2024:Gr\xF6\xDF" "e,Fix\r\n"
                      "SHA256=" + hash + "\r\n"
                      "Size=" + std::to_string(archive.size()) + "\r\n"
                      "\r\n"
                      "[<Liste>]\r\n"
                      "Serial=1\r\n"
                      "Expires=" + DaysFromToday(365) + "\r\n");
  auto entries = Unzip(archive);
  std::vector<std::pair<std::string, std::string>> expected = {
      {"Gr\xC3\xB6\xC3\x9F" "e.txt", "umlaut"}, {"Notizkasten.exe", m.program}, {"Update.bat", m.batch}};
  EXPECT_EQ(entries, expected);
  // The name in UTF-8, flagged as such: every reader takes it for what it is.
  const base::ZipCheck check = base::CheckZipArchive(archive.size(), base::ZipReaderOf(archive));
  ASSERT_EQ(check.entries.size(), 3u);
  EXPECT_EQ(check.entries[0].flags & base::kZipFlagUtf8, base::kZipFlagUtf8);

  // The signature is that of the list's exact bytes under the public key.
  auto signature = base::DecodeBase64(base::TrimBlanksAndBreaks(Read(JoinPath(m.server, "Updates.ini.sig"))));
  auto publicKey = base::DecodeBase64(base::TrimBlanksAndBreaks(Read(m.publicKey)));
  ASSERT_TRUE(signature && publicKey);
  ASSERT_EQ(signature->size(), 64u);
  EXPECT_EQ(crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature->data()),
                                        reinterpret_cast<const unsigned char*>(list.data()), list.size(),
                                        reinterpret_cast<const unsigned char*>(publicKey->data())),
            0);

  // A newer version: the section changes in place, News stays without --news, the rest stays.
  Write(JoinPath(m.from, "Notizkasten.exe"), m.program + "v2");
  r = Tool(m.PublishArgs({"--date", "1.4.2024"}));
  EXPECT_EQ(r.code, 2) << "--date twice";
  std::vector<std::string> args = m.PublishArgs();
  args.back() = "1.4.2024";
  r = Tool(args);
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string second = Read(JoinPath(m.server, "Updates.ini"));
  const std::string archive2 = Read(JoinPath(m.server, JoinPath("Updates", "Notizkasten.zip")));
  const std::string hash2 = Sha256Hex(archive2);
  EXPECT_NE(hash2, hash);
  EXPECT_EQ(second, std::string(kOtherSections) +
                        "[Notizkasten]\r\n"
                        "Date=01.04.2024\r\n"
                        "File=Notizkasten.zip\r\n"
                        "News=\"15.03.2024:Suche, schneller\",15.03.2024:Gr\xF6\xDF" "e,Fix\r\n"
                        "SHA256=" + hash2 + "\r\n"
                        "Size=" + std::to_string(archive2.size()) + "\r\n"
                        "\r\n"
                        "[<Liste>]\r\n"
                        "Serial=2\r\n"
                        "Expires=" + DaysFromToday(365) + "\r\n");

  // A release date after today is published, with a word on what it does.
  args.back() = "31.12.9999";
  r = Tool(args);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("Note: the date 31.12.9999 lies after today: a program that installs this update before then "
                       "is offered it again at every check until that day.\n"),
            std::string::npos)
      << r.err;
  args.back() = "1.4.2024";
  ASSERT_EQ(Tool(args).code, 0);

  // verify says the same of Lager; without it the folder is right.
  Result v = m.Verify();
  EXPECT_EQ(v.code, 1);
  EXPECT_EQ(v.err, "Section [Lager]: the archive Updates/Lager.zip is missing.\n1 problem(s) found in " + m.server + ".\n");
  Write(JoinPath(m.server, "Updates.ini"), second.substr(std::string(kOtherSections).size()));
  Resign(m.server, m.secret);
  v = m.Verify();
  EXPECT_EQ(v.code, 0) << v.err;
  EXPECT_EQ(v.out, m.server + ": 1 section(s) checked, no problems, signature right.\n");

  // Renewal: the serial one higher, the new expiry, every program's section byte for byte, and
  // signed again; verify warns when the expiry is near and refuses a passed one.
  const std::string before = Read(JoinPath(m.server, "Updates.ini"));
  r = Tool({"renew", "--key", m.secret, "--server", m.server, "--expires", "31.12.2099"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Renewed " + JoinPath(m.server, "Updates.ini") + ": serial 3, good until 31.12.2099\nSigned " +
                       JoinPath(m.server, "Updates.ini") + " -> " + JoinPath(m.server, "Updates.ini.sig") + "\n");
  EXPECT_EQ(Read(JoinPath(m.server, "Updates.ini")),
            before.substr(0, before.find("[<Liste>]")) + "[<Liste>]\r\nSerial=3\r\nExpires=31.12.2099\r\n");
  v = m.Verify();
  EXPECT_EQ(v.code, 0) << v.err;
  EXPECT_EQ(v.err, "");
  ASSERT_EQ(Tool({"renew", "--key", m.secret, "--server", m.server, "--expires", DaysFromToday(13)}).code, 0);
  v = m.Verify();
  EXPECT_EQ(v.code, 0) << v.err;
  EXPECT_EQ(v.err, "Warning: The list expires on " + DaysFromToday(13) +
                       ", within 14 days: run trelkpublish renew before then, or programs with the public key refuse it.\n");
  ASSERT_EQ(Tool({"renew", "--key", m.secret, "--server", m.server, "--expires", DaysFromToday(-1)}).code, 0);
  v = m.Verify();
  EXPECT_EQ(v.code, 1);
  EXPECT_EQ(v.err, "Section [<Liste>]: the list expired on " + DaysFromToday(-1) +
                       "; programs with the public key refuse it (trelkpublish renew).\n1 problem(s) found in " +
                       m.server + ".\n");
  EXPECT_NE(Read(JoinPath(m.server, "Updates.ini")).find("Serial=5\r\n"), std::string::npos);

  // A rollout set with renew: the program's section gets its share from today, the list a new
  // serial and signature; every other section stays byte for byte.
  const std::string unrolled = Read(JoinPath(m.server, "Updates.ini"));
  r = Tool({"renew", "--key", m.secret, "--server", m.server, "--program", "Notizkasten", "--rollout", "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Rollout of [Notizkasten]: 0 % from today, doubling weekly\n"), std::string::npos) << r.out;
  const std::string rolled = Read(JoinPath(m.server, "Updates.ini"));
  const std::string tail = "Rollout=0\r\nRolloutStart=" + DaysFromToday(0) + "\r\n";
  EXPECT_NE(rolled.find(tail), std::string::npos) << rolled;
  EXPECT_EQ(rolled.substr(0, rolled.find("[<Liste>]")).size(), unrolled.find("[<Liste>]") + tail.size());
  EXPECT_EQ(m.Verify().code, 0);
  r = Tool({"renew", "--key", m.secret, "--server", m.server, "--program", "Lager", "--rollout", "10"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Read(JoinPath(m.server, "Updates.ini")), rolled) << "a refused renew changes nothing";
}

// Puts a maker's own archive in place of the published one, its hash in the list, signed anew.
void ReplaceArchive(Maker& m, const std::string& archive) {
  Write(JoinPath(m.server, JoinPath("Updates", "Notizkasten.zip")), archive);
  EditList(m.server, m.secret, [&](std::string& list) {
    list.replace(list.find("SHA256=") + 7, 64, Sha256Hex(archive));
    SetSize(list, archive);
  });
}

// An archive of trelkpublish with one 16-bit field of an entry's local header (`local` bytes
// into it) or central record (`central` bytes into it) changed; 0 leaves a record alone.
std::string PatchedArchive(const std::vector<publish::ArchiveEntry>& entries, const std::string& name, size_t local,
                           size_t central, uint16_t value) {
  std::string bytes = publish::MakeArchive(entries);
  auto put = [&](size_t at) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
  };
  for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1)) {
    if (bytes.compare(at - 30, 4, "PK\x03\x04") == 0 && local) put(at - 30 + local);
    if (at >= 46 && bytes.compare(at - 46, 4, "PK\x01\x02") == 0 && central) put(at - 46 + central);
  }
  return bytes;
}

TEST(Publish, VerifyFindsWhatStopsAnInstallation) {
  const std::string batch = "@echo off\r\nrem 1\r\nrem 2\r\nrem 3\r\n", program(5000, 'p');
  struct Case {
    const char* name;
    std::function<void(Maker&)> change;
    bool withPublicKey;
    int code;
    const char* report;  // a line that must be in the error output
  } cases[] = {
      {"the published folder", [](Maker&) {}, true, 0, ""},
      {"a date in another form",
       [](Maker& m) {
         EditList(m.server, m.secret, [](std::string& list) { list.replace(list.find("Date=15.03.2024"), 15, "Date=2024-03-15"); });
       },
       true, 1,
       "Section [Notizkasten]: the Date \"2024-03-15\" is not a date of the form dd.MM.yyyy; programs without the "
       "public key take today's date instead, programs with it refuse the list.\n"},
      {"a date that only a day.month.year computer reads",
       [](Maker& m) {
         EditList(m.server, m.secret, [](std::string& list) { list.replace(list.find("Date=15.03.2024"), 15, "Date=15.03.24"); });
       },
       true, 1,
       "Section [Notizkasten]: the Date \"15.03.24\" is read only where the short date is day.month.year; write it "
       "as 15.03.2024: elsewhere programs without the public key take today's date instead, programs with it "
       "refuse the list.\n"},
      {"a template the programs refuse",
       [](Maker& m) { ReplaceArchive(m.server, m.secret, " copy %0:100000s x\r\n"); }, true, 1,
       "Section [Notizkasten]: Updates/Notizkasten.zip: its Update.bat is refused by the programs: Format ' copy "
       "%0:100000s x' ung"},
      {"a template with empty lines at its end",
       [](Maker& m) { ReplaceArchive(m.server, m.secret, " copy %s*.* x\r\n\r\n\r\n"); }, true, 0, ""},
      {"the archive missing", [](Maker& m) { publish::RemoveFileNoThrow(JoinPath(m.server, JoinPath("Updates", "Notizkasten.zip"))); },
       true, 1, "Section [Notizkasten]: the archive Updates/Notizkasten.zip is missing.\n"},
      {"one byte of the archive changed",
       [](Maker& m) {
         std::string path = JoinPath(m.server, JoinPath("Updates", "Notizkasten.zip"));
         std::string bytes = Read(path);
         bytes[bytes.size() / 3] ^= 0x01;
         Write(path, bytes);
       },
       true, 1, "Section [Notizkasten]: the SHA256 does not match Updates/Notizkasten.zip (the file has "},
      {"a list changed after signing",
       [](Maker& m) { Write(JoinPath(m.server, "Updates.ini"), Read(JoinPath(m.server, "Updates.ini")) + "; neu\r\n"); },
       true, 1,
       "Updates.ini.sig does not fit Updates.ini for this public key: the list was changed after signing or signed "
       "with another key.\n"},
      {"the same change, no public key given",
       [](Maker& m) { Write(JoinPath(m.server, "Updates.ini"), Read(JoinPath(m.server, "Updates.ini")) + "; neu\r\n"); },
       false, 0, ""},
      {"a list signed by another key",
       [](Maker& m) {
         std::string other = JoinPath(m.keys, "andere");
         ASSERT_EQ(Tool({"keygen", other}).code, 0);
         Resign(m.server, JoinPath(other, "update-secret.key"));
       },
       true, 1,
       "Updates.ini.sig does not fit Updates.ini for this public key: the list was changed after signing or signed "
       "with another key.\n"},
      {"one character of the signature changed",
       [](Maker& m) {
         std::string sig = Read(JoinPath(m.server, "Updates.ini.sig"));
         sig[10] = sig[10] == 'A' ? 'B' : 'A';
         Write(JoinPath(m.server, "Updates.ini.sig"), sig);
       },
       true, 1, "Updates.ini.sig does not fit Updates.ini for this public key"},
      {"a second line after the signature (the programs refuse it)",
       [](Maker& m) { Write(JoinPath(m.server, "Updates.ini.sig"), Read(JoinPath(m.server, "Updates.ini.sig")) + "x\r\n"); },
       true, 1, "Updates.ini.sig is not the Base64 text of a 64-byte signature.\n"},
      {"the signature missing", [](Maker& m) { publish::RemoveFileNoThrow(JoinPath(m.server, "Updates.ini.sig")); },
       true, 1, "Updates.ini.sig is missing: programs built with the public key install nothing.\n"},
      {"the list missing", [](Maker& m) { publish::RemoveFileNoThrow(JoinPath(m.server, "Updates.ini")); }, false, 1,
       "Updates.ini is missing.\n"},
      {"the hash removed",
       [](Maker& m) { EditList(m.server, m.secret, [](std::string& list) { list.erase(list.find("SHA256=")); }); },
       true, 1, "Section [Notizkasten]: no SHA256; programs built with the public key do not install Updates/Notizkasten.zip.\n"},
      // Archives the maker made with other tools, read with the programs' own extraction rules.
      {"an entry in Deflate64, as Explorer packs large files",
       [&](Maker& m) {  // the method field of both records says 9
         ReplaceArchive(m, PatchedArchive({{"Update.bat", batch}, {"Notizkasten.exe", program}}, "Notizkasten.exe", 8,
                                          10, 9));
       },
       true, 1,
       "Section [Notizkasten]: Updates/Notizkasten.zip: the entry \"Notizkasten.exe\" is packed with Deflate64, which "
       "the programs cannot unpack; pack it with Deflate.\n"},
      {"an encrypted entry",
       [&](Maker& m) {
         ReplaceArchive(m, PatchedArchive({{"Update.bat", batch}, {"Notizkasten.exe", program}}, "Notizkasten.exe", 6,
                                          8, 1));
       },
       true, 1, "Updates/Notizkasten.zip: the entry \"Notizkasten.exe\" is encrypted; the programs cannot unpack it.\n"},
      {"a local header that lies about the method",
       [&](Maker& m) {
         ReplaceArchive(m, PatchedArchive({{"Update.bat", batch}, {"Notizkasten.exe", program}}, "Notizkasten.exe", 8,
                                          0, 0));
       },
       true, 1,
       "Section [Notizkasten]: Updates/Notizkasten.zip: its records contradict each other (the local header of the "
       "entry \"Notizkasten.exe\" gives another compression method than the central directory); the programs unpack "
       "nothing of it.\n"},
      {"a name the programs skip, and two entries of one name",
       [&](Maker& m) {
         ReplaceArchive(m, publish::MakeArchive({{"Update.bat", batch},
                                                 {"CON.txt", "x"},
                                                 {"alt/", ""},
                                                 {"Notizkasten.exe", program},
                                                 {"alt/NOTIZKASTEN.EXE", "alt"}}));
       },
       true, 1,
       "Updates/Notizkasten.zip: the entry \"CON.txt\" is skipped by the programs: its name is no file name they "
       "make.\nSection [Notizkasten]: Updates/Notizkasten.zip: the entries \"Notizkasten.exe\" and "
       "\"alt/NOTIZKASTEN.EXE\" are unpacked under one name; the programs keep only the first.\n2 problem(s)"},
      // Windows makes "Notizkasten.exe " as "Notizkasten.exe"; "\xDF" is no "ss" to the file system.
      {"a name equal to another but for a blank at its end, and \"Stra\xDF" "e\" beside \"Strasse\"",
       [&](Maker& m) {
         ReplaceArchive(m, publish::MakeArchive({{"Update.bat", batch},
                                                 {"Notizkasten.exe", program},
                                                 {"Notizkasten.exe ", "x"},
                                                 {"Stra\xDF" "e.dll", "1"},
                                                 {"Strasse.dll", "2"}}));
       },
       true, 1,
       "Updates/Notizkasten.zip: the entry \"Notizkasten.exe \" is skipped by the programs: its name is no file name "
       "they make.\n1 problem(s)"},
      {"a name flagged as UTF-8 that is none",
       [&](Maker& m) {  // "\xC3\xA4" (ä) made "\xFF\xA4" in both records
         ReplaceArchive(m, PatchedArchive({{"Update.bat", batch}, {"Notizkasten.exe", program}, {"\xE4.txt", "a"}},
                                          "\xC3\xA4.txt", 30, 46, 0xA4FF));
       },
       true, 1,
       ".txt\" is flagged as UTF-8 but is none; the programs unpack nothing of the archive.\n"},
      {"a name that Windows-1252 lacks",
       [&](Maker& m) {  // "\xC5\x81" (Ł) in place of "\xC3\xA4"
         ReplaceArchive(m, PatchedArchive({{"Update.bat", batch}, {"Notizkasten.exe", program}, {"\xE4.txt", "a"}},
                                          "\xC3\xA4.txt", 30, 46, 0x81C5));
       },
       true, 1,
       "Updates/Notizkasten.zip: the name of the entry \"?.txt\" has a character that Windows-1252 lacks; the "
       "programs on a German Windows unpack nothing of the archive.\n"},
  };
  for (const Case& c : cases) {
    Maker m;
    Write(JoinPath(m.server, "Updates.ini"), "");
    ASSERT_EQ(Tool(m.PublishArgs()).code, 0) << c.name;
    c.change(m);
    Result r = c.withPublicKey ? m.Verify() : Tool({"verify", "--server", m.server});
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.report), std::string::npos) << c.name << "\n" << r.err;
    if (c.code == 0) EXPECT_EQ(r.err, "") << c.name;
    if (!c.withPublicKey) EXPECT_NE(r.out.find("The signature was not checked (no --public given).\n"), std::string::npos);
  }
  Scratch dir;
  Result r = Tool({"verify", "--server", dir("fehlt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "trelkpublish: The server folder \"" + dir("fehlt") + "\" does not exist.\n");
}

// Root keys, a delegated release key and the migration: the list that programs built with one
// key and programs built with root keys both take, the chain as the programs read it, each step's
// refusal, a rotation and a retirement, and what verify says of each.
TEST(Publish, DelegatedReleaseKeySignsBesideTheOldSignature) {
  Maker m;
  Write(JoinPath(m.server, "Updates.ini"), "; Update-Liste von Trelk-Software\r\n");
  const std::string root1 = m.dir("root1"), root2 = m.dir("root2"), release = m.dir("release"),
                    next = m.dir("next"), delegation = m.dir("delegation.txt");
  Result r = Tool({"keygen", "--root", root1});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("keep it off every server"), std::string::npos) << r.out;
  ASSERT_EQ(Tool({"keygen", "--root", root2}).code, 0);
  ASSERT_EQ(Tool({"keygen", release}).code, 0);
  ASSERT_EQ(Tool({"keygen", next}).code, 0);
  const std::string rootSecret1 = JoinPath(root1, "root-secret.key"), rootPublic1 = JoinPath(root1, "root-public.key"),
                    rootSecret2 = JoinPath(root2, "root-secret.key"), rootPublic2 = JoinPath(root2, "root-public.key");
  const std::string releaseSecret = JoinPath(release, "update-secret.key");
  auto keyOf = [](const std::string& path) { return *base::DecodeBase64(base::TrimBlanksAndBreaks(Read(path))); };
  const std::string expires = DaysFromToday(100);
  auto delegate = [&](const std::string& rootSecret, const std::string& releaseFolder, const std::string& programs,
                      const std::string& epoch, const std::string& until) {
    return Tool({"delegate", "--root", rootSecret, "--release", JoinPath(releaseFolder, "update-public.key"),
                 "--programs", programs, "--epoch", epoch, "--expires", until, "--out", delegation});
  };
  r = delegate(rootSecret1, release, "*", "1", expires);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Delegated release key " + base::KeyId(keyOf(JoinPath(release, "update-public.key"))) +
                       " by root key " + base::KeyId(keyOf(rootPublic1)) + ": every program, epoch 1"),
            std::string::npos)
      << r.out;
  // Publishing needs the release key, never a root key: the root key in its place is refused,
  // and the folder stays as it was.
  r = Tool(m.PublishArgs({"--delegation", delegation}));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("is not the release key of the delegation"), std::string::npos) << r.err;
  EXPECT_EQ(Read(JoinPath(m.server, "Updates.ini")), "; Update-Liste von Trelk-Software\r\n");
  EXPECT_EQ(Read(JoinPath(m.server, "Updates.ini.chain")), "<missing>");
  std::vector<std::string> args = m.PublishArgs({"--delegation", delegation, "--legacy-key", m.secret});
  args[2] = releaseSecret;
  r = Tool(args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("-> " + JoinPath(m.server, "Updates.ini.chain") + " (release key"), std::string::npos) << r.out;

  // What the programs read: the one-line signature by the old key, and the chain from root key 1.
  const std::string list = Read(JoinPath(m.server, "Updates.ini"));
  auto verify = [](std::string_view message, std::string_view sig, std::string_view key) {
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sig.data()),
                                       reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                       reinterpret_cast<const unsigned char*>(key.data())) == 0;
  };
  auto judge = [&](const std::string& program, const base::ChainMemory& memory) {
    const auto chain = base::ParseKeyChain(Read(JoinPath(m.server, "Updates.ini.chain")));
    if (!chain) return base::ChainFault::SignatureInvalid;
    return base::JudgeKeyChain(*chain, Read(JoinPath(m.server, "Updates.ini")), {keyOf(rootPublic1), keyOf(rootPublic2)},
                               program, memory, 0, verify)
        .fault;
  };
  const auto sig = base::ParseSignatureFile(Read(JoinPath(m.server, "Updates.ini.sig")));
  ASSERT_TRUE(sig);
  EXPECT_TRUE(verify(list, *sig, keyOf(m.publicKey)));
  EXPECT_EQ(judge("Notizkasten", {}), base::ChainFault::None);
  r = Tool({"verify", "--server", m.server, "--public", m.publicKey, "--root", rootPublic1, "--root", rootPublic2});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Programs built with the one key " + base::KeyId(keyOf(m.publicKey)) + " take the list"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("[Notizkasten]: taken by programs built with the root keys (release key"), std::string::npos)
      << r.out;

  // renew from a scheduled job: the release key alone; the chain on the server is kept, and
  // without the old key its signature goes.
  r = Tool({"renew", "--key", releaseSecret, "--server", m.server});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Removed " + JoinPath(m.server, "Updates.ini.sig")), std::string::npos) << r.out;
  EXPECT_EQ(Read(JoinPath(m.server, "Updates.ini.sig")), "<missing>");
  EXPECT_EQ(judge("Notizkasten", {}), base::ChainFault::None);

  // A delegation for another program, one close to its end, a rotation and a retirement: what the
  // programs and verify make of each.
  struct Step {
    const char* name;
    std::function<Result()> make;     // the maker's command(s); the last one's result
    base::ChainMemory memory;         // what the program remembers
    base::ChainFault fault;           // the programs' verdict for Notizkasten
    std::string said;                 // in verify's output (out and err)
  } steps[] = {
      {"a delegation for another program",
       [&] {
         delegate(rootSecret1, release, "Waage,Lager", "1", expires);
         return Tool({"renew", "--key", releaseSecret, "--server", m.server, "--delegation", delegation});
       },
       {}, base::ChainFault::ProgramNotCovered, "[Notizkasten]: the delegation does not name this program."},
      {"a delegation that ends within 14 days",
       [&] {
         delegate(rootSecret1, release, "*", "1", DaysFromToday(3));
         return Tool({"renew", "--key", releaseSecret, "--server", m.server, "--delegation", delegation});
       },
       {}, base::ChainFault::None, "Warning: The delegation of release key"},
      {"the release key rotated: the old one's list after epoch 2 was taken",
       [&] {
         delegate(rootSecret1, next, "*", "2", expires);
         return Tool({"renew", "--key", JoinPath(next, "update-secret.key"), "--server", m.server, "--delegation",
                      delegation});
       },
       {1u, {}}, base::ChainFault::None, "epoch 2"},
      {"the backup retires the primary, which delegates again",
       [&] {
         delegate(rootSecret2, next, "*", "3", expires);
         Tool({"retire", "--root", rootSecret2, "--retired", rootPublic1, "--from", "3", "--delegation", delegation});
         delegate(rootSecret1, next, "*", "4", expires);
         Tool({"retire", "--root", rootSecret2, "--retired", rootPublic1, "--from", "3", "--delegation", delegation});
         return Tool({"renew", "--key", JoinPath(next, "update-secret.key"), "--server", m.server, "--delegation",
                      delegation});
       },
       {}, base::ChainFault::RootRetired, "is retired for its epoch"},
  };
  for (Step& step : steps) {
    SCOPED_TRACE(step.name);
    r = step.make();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(judge("Notizkasten", step.memory), step.fault);
    r = Tool({"verify", "--server", m.server, "--root", rootPublic1, "--root", rootPublic2});
    EXPECT_EQ(r.code, step.fault == base::ChainFault::None ? 0 : 1) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(step.said), std::string::npos) << r.out << r.err;
  }
  EXPECT_EQ(base::ParseKeyChain(Read(delegation), false)->retirements.size(), 1u) << "a second retire replaces";

  // The backup root key alone delegates, retires the primary, and the programs take the list;
  // a program that took it remembers the primary as retired.
  delegate(rootSecret2, next, "*", "5", expires);
  r = Tool({"retire", "--root", rootSecret2, "--retired", rootPublic1, "--from", "5", "--delegation", delegation});
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_EQ(Tool({"renew", "--key", JoinPath(next, "update-secret.key"), "--server", m.server, "--delegation",
                  delegation}).code,
            0);
  const auto chain = base::ParseKeyChain(Read(JoinPath(m.server, "Updates.ini.chain")));
  ASSERT_TRUE(chain);
  const base::ChainVerdict taken = base::JudgeKeyChain(*chain, Read(JoinPath(m.server, "Updates.ini")),
                                                       {keyOf(rootPublic1), keyOf(rootPublic2)}, "Notizkasten",
                                                       base::ChainMemory{4u, {}}, 0, verify);
  EXPECT_EQ(taken.fault, base::ChainFault::None);
  EXPECT_EQ(taken.epoch, std::optional<std::uint32_t>(5u));
  EXPECT_EQ(taken.retire, std::vector<std::string>{base::KeyId(keyOf(rootPublic1))});
  // A root key never retires itself; a wrong epoch is a usage error.
  EXPECT_EQ(Tool({"retire", "--root", rootSecret2, "--retired", rootPublic2, "--from", "5", "--delegation",
                  delegation}).code,
            1);
  EXPECT_EQ(Tool({"delegate", "--root", rootSecret2, "--release", JoinPath(next, "update-public.key"), "--programs",
                  "*", "--epoch", "0", "--expires", expires, "--out", delegation})
                .code,
            2);
}

TEST(Publish, PublishRefusesAndLeavesTheFolderAlone) {
  struct Case {
    const char* name;
    std::function<std::vector<std::string>(Maker&)> prepare;  // gives the arguments
    int code;
    const char* message;  // part of the error output
    bool freshFolderToo = true;  // the same refusal into a server folder that does not exist yet
  } cases[] = {
      {"no Update.bat and a name that the batch finds only as a pattern that matches another",
       [](Maker& m) {
         publish::RemoveFileNoThrow(JoinPath(m.from, "Update.bat"));
         Write(JoinPath(m.from, Arg("Preis \xE2\x82\xAC.txt")), "euro");
         Write(JoinPath(m.from, "Preis $.txt"), "dollar");
         return m.PublishArgs();
       },
       1,
       "holds no Update.bat, and the one publish writes cannot be made: The file name \"Preis "},
#ifndef _WIN32
      // Names that only another system's folder holds (Windows makes none of them).
      {"a name equal to another but for a blank at its end",
       [](Maker& m) { Write(JoinPath(m.from, "Notizkasten.exe "), "x"); return m.PublishArgs(); }, 1,
       "The file name \"Notizkasten.exe \" is refused by the programs: it is no file name they make"},
      {"a control character after the first character",
       [](Maker& m) { Write(JoinPath(m.from, "Lies\x01mich.txt"), "x"); return m.PublishArgs(); }, 1,
       "mich.txt\" is refused by the programs: it is no file name they make"},
      {"two names of one file on Windows",
       [](Maker& m) { Write(JoinPath(m.from, "NOTIZKASTEN.EXE"), "x"); return m.PublishArgs(); }, 1,
       "The file names \"NOTIZKASTEN.EXE\" and \"Notizkasten.exe\" name one file on Windows; the programs would "
       "unpack only the first."},
#endif
      {"no Update.bat and a key name the batch cannot write",
       [](Maker& m) {
         publish::RemoveFileNoThrow(JoinPath(m.from, "Update.bat"));
         auto a = m.PublishArgs();
         a[6] = "Notiz%kasten";
         return a;
       },
       1, "The registry key \"Notiz%kasten\" cannot be written by the batch file"},
      {"a wait of no seconds", [](Maker& m) { return m.PublishArgs({"--wait", "0"}); }, 2,
       "The wait \"0\" is no whole number of seconds from 1 to 600."},
      {"a template that ends in half a group",
       [](Maker& m) {
         Write(JoinPath(m.from, "Update.bat"), "@echo off\r\ncopy /y \"%0:sNotizkasten.exe\" \"%1:sNotizkasten.exe\"\r\n");
         return m.PublishArgs();
       },
       1, "Update.bat\" is refused by the programs: Die Vorlage \"Update.bat\" endet in einer unvollst"},
      {"a subfolder",
       [](Maker& m) { publish::MakeDirectory(JoinPath(m.from, "bin")); return m.PublishArgs(); }, 1,
       "holds the folder \"bin\": the programs unpack every file into one folder"},
      {"no such folder",
       [](Maker& m) { auto a = m.PublishArgs(); a[8] = m.from + "-fehlt"; return a; }, 1, "-fehlt\" does not exist."},
      {"the public key given as the secret",
       [](Maker& m) { auto a = m.PublishArgs(); a[2] = m.publicKey; return a; }, 1,
       "is no secret key file of trelkpublish keygen (one line of Base64 of 64 bytes)."},
      {"a damaged secret key",
       [](Maker& m) {
         std::string key = *base::DecodeBase64(base::TrimBlanksAndBreaks(Read(m.secret)));
         key[3] ^= 0x40;
         Write(m.secret, base::EncodeBase64(key) + "\r\n");
         return m.PublishArgs();
       },
       1, "is damaged: its two halves do not belong together."},
      {"no secret key file", [](Maker& m) { auto a = m.PublishArgs(); a[2] += ".fehlt"; return a; }, 1,
       ".fehlt\" does not exist."},
      {"a list with a byte order mark",
       [](Maker& m) {
         Write(JoinPath(m.server, "Updates.ini"), "\xEF\xBB\xBF" + std::string(kOtherSections));
         return m.PublishArgs();
       },
       1, "Updates.ini begins with a UTF-8 byte order mark", false},
      {"a news item of two lines", [](Maker& m) { return m.PublishArgs({"--news", "a\nb"}); }, 1,
       "holds a line break; an update list line cannot."},
      {"an archive name with a folder", [](Maker& m) { auto a = m.PublishArgs(); a[10] = "neu/N.zip"; return a; }, 2,
       "The archive name \"neu/N.zip\" must be a plain file name such as Notizkasten.zip (ASCII letters, digits and "
       "._-+~() only)."},
      {"no --file", [](Maker& m) { auto a = m.PublishArgs(); a.erase(a.begin() + 9, a.begin() + 11); return a; }, 2,
       "trelkpublish: publish needs the option --file.\n\nUsage:\n"},
  };
  for (const Case& c : cases) {
    Maker m;
    std::vector<std::string> args = c.prepare(m);
    if (c.freshFolderToo) {
      std::vector<std::string> fresh = args;
      for (size_t i = 0; i + 1 < fresh.size(); ++i)
        if (fresh[i] == "--server") fresh[i + 1] = m.server + "-neu";
      EXPECT_EQ(Tool(fresh).code, c.code) << c.name;
      EXPECT_FALSE(publish::PathExists(m.server + "-neu")) << c.name;
    }
    const std::string before = Read(JoinPath(m.server, "Updates.ini"));
    Result r = Tool(args);
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << "\n" << r.err;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(Read(JoinPath(m.server, "Updates.ini")), before) << c.name;
    EXPECT_EQ(publish::ListFolder(m.server).size(), 1u) << c.name << ": something was written";
  }
}

#ifdef _WIN32
// The tool's reading of an update list is the platform's: the same files, the same answers
// from GetPrivateProfileStringA, which is what the programs read the list with.
TEST(Publish, ListReaderMatchesThePlatform) {
  Scratch dir;
  const std::string path = dir("Updates.ini");
  const std::string lists[] = {
      "[Kasse]\r\n  date  =  15.03.2024  \r\nFile='Kasse.zip'\r\nNews=\"a b\"\r\nEins=\"\r\nHalb=\"a'\r\n",
      "[kasse]\r\nDate=1\r\n[KASSE]\r\nDate=2\r\nFile=zweite\r\n",
      "Date=davor\r\n[Kasse]\r\nFile=x\r\n",
      "[ Kasse ]\r\nDate=blank\r\n[Kasse]\r\nDate=ohne\r\n",
      "  [Kasse]  Rest\nDate=lf\rFile=cr\r\n",
      "[Kasse]\r\nohne Gleich\r\nGleich=a=b\r\nLeer=\r\nQuotes=\"\"\r\nSingle=''\r\n",
      "[Kasse]\r\nLang=" + std::string(3000, 'x') + "\r\n",
      "[Kasse]\r\n\r\n   \r\n[Andere]\r\nX=1\r\n",
      "[Kasse\r\nDate=offen\r\n",
      "[Kasse]\r\n;Date=kommentar\r\nDate=echt\r\n",
      "[Kasse]\r\nNews=\"\"a b\",\"c d\"\"\r\nTab=\t\"x\"\t\r\n",
  };
  const char* sections[] = {"Kasse", " Kasse ", "kasse", "Andere"};
  const char* keys[] = {"Date", "File", "News", "Eins", "Halb", "ohne Gleich", "Gleich", "Leer", "Quotes", "Single",
                        "Lang", "X", ";Date", "Tab"};
  for (const std::string& list : lists) {
    Write(path, list);
    publish::UpdateList reader(list);
    for (const char* section : sections) {
      char names[4096];
      DWORD n = GetPrivateProfileStringA(section, nullptr, "", names, sizeof names, path.c_str());
      // (The platform's key listing does not trim the name it looks for; the programs' names
      // have no blanks at their ends.)
      if (section[0] != ' ') EXPECT_EQ(reader.HasSection(section), n > 0) << list.substr(0, 70) << " [" << section << "]";
      for (const char* key : keys) {
        char value[2048];
        DWORD got = GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, path.c_str());
        std::string platform(value, got);
        EXPECT_EQ(reader.ReadValue(section, key).value_or("<absent>"), platform)
            << list.substr(0, 70) << " [" << section << "] " << key;
      }
    }
  }
}

// The Update.bat that publish writes when the maker gives none, run as the programs run it: the
// archive unpacked into a search folder, the batch made with the programs' own rules (folders
// in the console's code page, no restart line) and started through the shell, hidden. What the
// user would find afterwards: the program folder, file by file, and the outcome in the key.
// A file in use is a handle held open from here with read sharing only, as a running program
// holds its own file (backing it up works, replacing it does not). The locked row waits the
// whole --wait of 2 s (two pings); the first row's lock goes after 1.5 s, within its wait.
// (A "%" in the search folder is not a row: Wine's shell cannot start a batch whose path has
// one, and Wine's cmd.exe expands "%~f0" again. Nor is "!": Wine's delayed expansion drops it.)
TEST(Publish, GeneratedTemplateInstallsOrPutsEverythingBack) {
  using Files = std::map<std::string, std::string>;
  struct Case {
    const char* name;
    std::string programFolder, searchFolder;
    Files installed, published;
    const char* held;      // a file of the program folder in use; nullptr: none
    DWORD heldFor;         // ms; 0: until the batch has ended
    const char* readOnly;  // a read-only file of the program folder; nullptr: none
    const char* result;    // after "<when>|"; nullptr: the published files installed and "ok"
  } cases[] = {
      {"two files, the program's held for a moment", "Pr\xF6gramme (x86)", "Temp\\Trelk-Probe-0001",
       {{"Probe.exe", "MZ alt"}, {"Daten.txt", "bleibt"}},
       {{"Probe.exe", "MZ neu " + std::string(70000, 'n')}, {"Hilfe.txt", "neu"}}, "Probe.exe", 1500, nullptr, nullptr},
      {"blanks, &, (, ), % and umlauts in folders and names", "Pro gramm & (1) 100%", "T\xE4mp & (a)\\Trelk-Probe-0002",
       {{"Probe.exe", "MZ alt"}, {"a&b (1).txt", "alt"}},
       {{"Probe.exe", "MZ neu"}, {"a&b (1).txt", "neu"}, {"100% \xFC" "ber.dat", "neu"}, {"%PATH%.txt", "neu"},
        {"%~x.bin", "neu"}},
       nullptr, 0, nullptr, nullptr},
      {"the program's file in use past the wait", "Programm", "Temp\\Trelk-Probe-0003",
       {{"Probe.exe", "MZ alt"}, {"Daten.txt", "alt"}},
       {{"Daten.txt", "neu"}, {"Neu.txt", "neu"}, {"Probe.exe", "MZ neu"}}, "Probe.exe", 0, nullptr,
       "failed|Probe.exe|locked"},
      {"a read-only file in the way", "Programm", "Temp\\Trelk-Probe-0004",
       {{"Probe.exe", "MZ alt"}, {"Lies.txt", "alt"}},
       {{"Anhang.txt", "neu"}, {"Lies.txt", "neu"}, {"Probe.exe", "MZ neu"}}, nullptr, 0, "Lies.txt",
       "failed|Lies.txt|copy"},
  };
  const std::string key = "TrelkpublishProbe" + std::to_string(GetCurrentProcessId());
  const std::string keyPath = "Software\\Trelk\\" + key;
  auto snapshot = [](const std::string& folder) {
    Files files;
    for (const auto& e : publish::ListFolder(folder)) files[e.name] = e.directory ? "<folder>" : Read(JoinPath(folder, e.name));
    return files;
  };
  auto oem = [](const std::string& text) {
    std::string out(text.size(), '\0');
    CharToOemBuffA(text.c_str(), out.data(), static_cast<DWORD>(text.size()));
    return out;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Maker m;
    const std::string wait = c.held && !c.heldFor ? "2" : "10";
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
    publish::RemoveFileNoThrow(JoinPath(m.from, "Update.bat"));
    publish::RemoveFileNoThrow(JoinPath(m.from, "Notizkasten.exe"));
    for (const auto& f : c.published) Write(JoinPath(m.from, f.first), f.second);
    Result r = Tool({"publish", "--key", m.secret, "--server", m.server, "--program", "Probe", "--from", m.from, "--file",
                     "Probe.zip", "--registry-key", key, "--registry-root", "hkcu", "--wait", wait});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Update.bat written by trelkpublish (the folder has none): " + std::to_string(c.published.size()) +
                         " file(s), each put back when one fails, up to " + wait +
                         " s for a file in use, outcome in HKCU\\Software\\Trelk\\" + key + " as UpdateResult\n"),
              std::string::npos)
        << r.out;
    EditList(m.server, m.secret, [](std::string& list) { list.erase(0, std::string(kOtherSections).size()); });
    Result v = m.Verify();
    EXPECT_EQ(v.code, 0) << v.err;

    const std::string program = m.dir(c.programFolder), search = m.dir(c.searchFolder);
    publish::MakeDirectory(program);
    publish::MakeDirectory(search.substr(0, search.rfind('\\')));
    publish::MakeDirectory(search);
    for (const auto& f : c.installed) Write(JoinPath(program, f.first), f.second);
    // The names are flagged UTF-8: the programs make them in the ANSI code page.
    for (const auto& e : Unzip(Read(JoinPath(m.server, JoinPath("Updates", "Probe.zip")))))
      Write(JoinPath(search, publish::Utf8ToCp1252(e.first)), e.second);
    ASSERT_TRUE(publish::PathExists(JoinPath(search, "Update.bat")));
    const std::string batch = base::BuildUpdateBatch(base::SplitTemplateLines(Read(JoinPath(search, "Update.bat"))),
                                                     oem(program + "\\"), oem(search + "\\"), false, "");
    Write(JoinPath(search, "Update.bat"), batch);
    if (c.readOnly) ASSERT_TRUE(SetFileAttributesA(JoinPath(program, c.readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    const Files before = snapshot(program);

    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.held)
      held = CreateFileA(JoinPath(program, c.held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (c.held) ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::string batchPath = JoinPath(search, "Update.bat");
    SHELLEXECUTEINFOA run{sizeof run};
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.lpVerb = "open";
    run.lpFile = batchPath.c_str();
    run.nShow = SW_HIDE;
    ASSERT_TRUE(ShellExecuteExA(&run) && run.hProcess);
    if (c.held && c.heldFor) {
      Sleep(c.heldFor);
      CloseHandle(held);
      held = INVALID_HANDLE_VALUE;
    }
    EXPECT_EQ(WaitForSingleObject(run.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(run.hProcess);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    // Every batch ends by deleting itself (the rest of the folder is the program's to remove).
    for (int i = 0; i < 100 && publish::PathExists(batchPath); ++i) Sleep(100);
    EXPECT_FALSE(publish::PathExists(batchPath)) << "the batch stays";

    Files expected = before;
    if (!c.result)
      for (const auto& f : c.published) expected[f.first] = f.second;
    EXPECT_EQ(snapshot(program), expected);
    char value[512] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, keyPath.c_str(), "UpdateResult", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    const std::string outcome = value;
    const size_t bar = outcome.find('|');
    EXPECT_GT(bar, 0u) << outcome;  // the time of the installation comes first
    EXPECT_EQ(bar == std::string::npos ? outcome : outcome.substr(bar + 1), c.result ? c.result : "ok");
    if (c.readOnly) SetFileAttributesA(JoinPath(program, c.readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
  }
}
#endif

}  // namespace
