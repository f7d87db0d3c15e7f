// checksum_bench.exe [MB] [RUNS]: what the checks of a program with a built-in key cost. The
// SHA-256 of an archive of MB megabytes (default 20) read block by block, as step 5 computes it,
// beside a plain read of the same file in the same blocks (the file is in the system's cache
// for both); the signature check of a 4 KB update list; and the whole chain of a program with
// root keys as its check judges it (the chain file read, a retirement and the delegation
// verified with the root keys, the list with the release key). Medians of RUNS runs (default 7).
#include <windows.h>

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "toolkit/Handles.h"
#include "wizard/Signature.h"
#include "wizard/update_rules.h"

namespace {

using bench::Median;
using bench::Now;

// Reads the file in blocks of 64 KB, as the checksum does, without hashing; its size.
long long PlainRead(const std::string& path) {
  toolkit::ScopedFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  std::vector<char> block(65536);
  long long total = 0;
  DWORD got = 0;
  while (file && ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0)
    total += got;
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const int megabytes = argc > 1 ? std::atoi(argv[1]) : 20;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  if (sodium_init() < 0 || megabytes <= 0 || runs <= 0) return 2;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "checksum_bench.zip";
  {
    std::string bytes(static_cast<size_t>(megabytes) * 1048576, '\0');
    randombytes_buf(&bytes[0], bytes.size());
    toolkit::ScopedFile out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!out || !WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return 1;
  }
  PlainRead(path);  // into the cache
  std::vector<double> hashed, read;
  for (int i = 0; i < runs; ++i) {
    double t = Now();
    if (!wizard::FileSha256(path)) return 1;
    hashed.push_back(Now() - t);
    t = Now();
    PlainRead(path);
    read.push_back(Now() - t);
  }
  DeleteFileA(path.c_str());

  unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], sig[crypto_sign_BYTES];
  crypto_sign_keypair(pk, sk);
  std::string list(4096, 'x');
  crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(list.data()), list.size(), sk);
  const std::string signature(reinterpret_cast<char*>(sig), sizeof sig), key(reinterpret_cast<char*>(pk), sizeof pk);
  std::vector<double> verified;
  for (int i = 0; i < runs; ++i) {
    const double t = Now();
    for (int k = 0; k < 100; ++k)
      if (!wizard::SignatureVerifies(list, signature, key)) return 1;
    verified.push_back((Now() - t) / 100);
  }
  // The chain: root keys P and B, B delegates release key L and retires P.
  auto keypair = [](std::string& publicKey, std::string& secret) {
    publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    secret.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(&publicKey[0]), reinterpret_cast<unsigned char*>(&secret[0]));
  };
  auto sign = [](const std::string& message, const std::string& secret) {
    std::string signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(&signature[0]), nullptr,
                         reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                         reinterpret_cast<const unsigned char*>(secret.data()));
    return signature;
  };
  std::string primary, primarySecret, backup, backupSecret, release, releaseSecret;
  keypair(primary, primarySecret);
  keypair(backup, backupSecret);
  keypair(release, releaseSecret);
  base::KeyChain chain;
  chain.delegation.signedText = base::DelegationText(release, {"Waage", "Notizkasten"}, 2, "31.12.2099", base::KeyId(backup));
  chain.delegation.signature = sign(chain.delegation.signedText, backupSecret);
  base::Retirement retirement;
  retirement.signedText = base::RetirementText(base::KeyId(primary), 2, base::KeyId(backup));
  retirement.signature = sign(retirement.signedText, backupSecret);
  chain.retirements.push_back(retirement);
  chain.listSignature = sign(list, releaseSecret);
  const std::string chainFile = base::KeyChainText(chain);
  const std::string roots = base::EncodeBase64(primary) + "," + base::EncodeBase64(backup);
  std::vector<double> chained;
  for (int i = 0; i < runs; ++i) {
    const double t = Now();
    for (int k = 0; k < 100; ++k) {
      const wizard::ChainListVerdict v = wizard::JudgeChainedList(
          roots, chainFile, list, "Notizkasten", base::ChainMemory{}, 0,
          [](std::string_view message, std::string_view sig, std::string_view key) {
            return wizard::SignatureVerifies(message, sig, key);
          });
      if (v.refusal != wizard::Refusal::None) return 1;
    }
    chained.push_back((Now() - t) / 100);
  }
  std::printf("archive of %d MB: SHA-256 %.1f ms (%.0f MB/s), plain read %.1f ms; median of %d runs\n", megabytes,
              Median(hashed) * 1000, megabytes / Median(hashed), Median(read) * 1000, runs);
  std::printf("signature of a 4 KB list: %.3f ms per check\n", Median(verified) * 1000);
  std::printf("chain of a 4 KB list (root keys, delegation, retirement, list): %.3f ms per check\n",
              Median(chained) * 1000);
  return 0;
}
