// The update road's pure rules: the offer, news items, progress texts and the verdicts.
#include "wizard/update_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Exception.h"
#include "base/StrUtils.h"

namespace wizard {

namespace {

// The whole day of a date value (towards minus infinity, so that a value before the epoch
// keeps its calendar day).
double CalendarDay(base::TDateTime value) { return std::floor(value); }

}  // namespace

// ---- Update list ----------------------------------------------------------------------------

bool UpdateOffered(bool hasSection, const std::string& dateValue, base::TDateTime reference,
                   const base::ShortDateFormat& format, base::TDateTime today) {
  if (!hasSection) return false;
  auto date = base::TryParseListDate(dateValue, format, today);
  base::TDateTime listDate = date ? *date : CalendarDay(today);
  return listDate >= reference;
}

const char kRolloutKey[] = "Rollout";
const char kRolloutStartKey[] = "RolloutStart";
const char kCriticalKey[] = "Critical";

int RolloutShare(const RolloutValues& values, base::TDateTime today) {
  if (values.critical && base::ReadListNumber(*values.critical, 1) == std::uint64_t{1}) return 100;
  if (!values.rollout) return 100;
  const std::optional<std::uint64_t> given = base::ReadListNumber(*values.rollout, 100);
  if (!given) return 0;
  int share = static_cast<int>(*given);
  if (!values.start) return share;
  const std::optional<base::TDateTime> start = base::TryParsePublishedDate(*values.start);
  if (!start) return 0;
  const double days = CalendarDay(today) - CalendarDay(*start);
  if (days < 0) return 0;
  // Doubling until all: at most 7 doublings lift 1 % past 100 %.
  for (double weeks = std::floor(days / 7); weeks >= 1 && share > 0 && share < 100; --weeks) share *= 2;
  return std::min(share, 100);
}

bool RolloutHoldsBack(const RolloutValues& values, int number, base::TDateTime today) {
  return number >= RolloutShare(values, today);
}

bool SkipCovers(const std::optional<SkippedVersion>& skipped, base::TDateTime listDate, std::string_view listSha256) {
  if (!skipped) return false;
  const double offered = CalendarDay(listDate), chosen = CalendarDay(skipped->date);
  if (offered != chosen) return offered < chosen;
  if (skipped->sha256.empty() || listSha256.empty()) return true;
  // Hex digits in either case.
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(skipped->sha256.begin(), skipped->sha256.end(), listSha256.begin(), listSha256.end(),
                    [&lower](char a, char b) { return lower(a) == lower(b); });
}

base::TDateTime OfferDate(const std::string& dateValue, const base::ShortDateFormat& format, base::TDateTime today) {
  const auto date = base::TryParseListDate(dateValue, format, today);
  return date ? *date : CalendarDay(today);
}

std::string NewsListText(const std::optional<std::string>& news, base::TDateTime reference,
                         const base::ShortDateFormat& format, base::TDateTime today) {
  std::vector<std::string> items = base::SplitCommaList(news ? *news : std::string("\"keine Angaben gefunden\""));
  std::string text;
  for (const std::string& item : items) {
    size_t colon = item.find(':');
    if (colon != std::string::npos && colon > 0) {
      auto date = base::TryParseListDate(item.substr(0, colon), format, today);
      if (date && CalendarDay(*date) < CalendarDay(reference)) continue;
    }
    text += "- " + item + "\r\n";
  }
  return text;
}

// ---- Download progress ----------------------------------------------------------------------

std::string FormatSize(int64_t bytes, int decimals, char decimalSeparator) {
  static const char* const kUnits[] = {"Byte", "KB", "MB", "GB", "TB"};
  double v = static_cast<double>(bytes);
  int i = 0;
  while (v >= 1024 && i <= 4) {
    v /= 1024;
    ++i;
  }
  if (i == 5) {
    v *= 1024;
    i = 4;
  }
  char whole[64];
  int d = std::snprintf(whole, sizeof whole, "%.0f", v);
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", d + decimals, v);
  std::string result(text);
  for (char& c : result)
    if (c == '.' || c == ',') c = decimalSeparator;
  return result + " " + kUnits[i];
}

std::string PercentText(int64_t received, int64_t expected) {
  if (expected == 0) return "100 %";
  double percent = static_cast<double>(received) / static_cast<double>(expected) * 100.0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld %%", static_cast<long long>(std::llround(percent)));
  return text;
}

double RemainingDays(int64_t expected, int64_t received, double downloadStart, double e1, double e2) {
  if (downloadStart == 0 || received <= 0) return 0;
  return static_cast<double>(expected) / static_cast<double>(received) * e1 - e2;
}

TimeFormat TimeFormat::FromPicture(std::string_view picture) {
  TimeFormat f;
  size_t h = picture.find_first_of("hH");
  if (h == std::string_view::npos) return f;
  size_t end = picture.find_first_not_of("hH", h);
  f.twoDigitHours = (end == std::string_view::npos ? picture.size() : end) - h >= 2;
  if (end == std::string_view::npos) return f;
  std::string separator;
  for (size_t i = end; i < picture.size() && picture[i] != 'm' && picture[i] != 'M'; ++i)
    if (picture[i] != '\'') separator += picture[i];
  if (!separator.empty()) f.separator = separator;
  return f;
}

std::string RemainingTimeText(double days, const TimeFormat& format) {
  if (!(days > 0) || !std::isfinite(days)) days = 0;
  // Bounded far beyond any download, so that the count stays a whole number.
  days = std::min(days, 1e7);
  // To the millisecond first, as a time of day is read, then the whole seconds.
  const long long seconds = std::llround(days * 86400000.0) / 1000;
  char hours[32], rest[8];
  std::snprintf(hours, sizeof hours, format.twoDigitHours ? "%02lld" : "%lld", seconds / 3600);
  std::string text = hours + format.separator;
  std::snprintf(rest, sizeof rest, "%02lld", seconds / 60 % 60);
  text += rest + format.separator;
  std::snprintf(rest, sizeof rest, "%02lld", seconds % 60);
  return text + rest;
}

// ---- Signed updates -------------------------------------------------------------------------

Refusal JudgeSignedList(std::string_view publicKeyText, bool signatureFound, std::string_view signatureFile,
                        const std::function<bool(const std::string& key, const std::string& signature)>& verifies,
                        const std::vector<std::string>& retired) {
  if (!signatureFound) return Refusal::ListUnsigned;
  const auto keys = base::ParseRootKeys(publicKeyText);
  const auto signature = base::ParseSignatureFile(signatureFile);
  if (!keys || !signature) return Refusal::ListSignatureInvalid;
  for (const std::string& key : *keys)
    if (std::find(retired.begin(), retired.end(), base::KeyId(key)) == retired.end() && verifies(key, *signature))
      return Refusal::None;
  return Refusal::ListSignatureInvalid;
}

ChainListVerdict JudgeChainedList(std::string_view publicKeyText, std::string_view chainFile, std::string_view listBytes,
                                  std::string_view program, const base::ChainMemory& memory, base::TDateTime today,
                                  const base::SignatureCheck& verifies) {
  ChainListVerdict verdict;
  const auto keys = base::ParseRootKeys(publicKeyText);
  const auto chain = base::ParseKeyChain(chainFile);
  if (!keys || !chain) {
    verdict.refusal = Refusal::ListSignatureInvalid;
    return verdict;
  }
  const base::ChainVerdict judged = base::JudgeKeyChain(*chain, listBytes, *keys, program, memory, today, verifies);
  switch (judged.fault) {
    case base::ChainFault::None: break;
    case base::ChainFault::SignatureInvalid: verdict.refusal = Refusal::ListSignatureInvalid; break;
    case base::ChainFault::RootRetired: verdict.refusal = Refusal::RootRetired; break;
    case base::ChainFault::EpochLower: verdict.refusal = Refusal::KeyEpochLower; break;
    case base::ChainFault::Expired: verdict.refusal = Refusal::DelegationExpired; break;
    case base::ChainFault::ProgramNotCovered: verdict.refusal = Refusal::ProgramNotCovered; break;
  }
  if (verdict.refusal == Refusal::None) {
    verdict.epoch = judged.epoch;
    verdict.retire = judged.retire;
  }
  return verdict;
}

ListVerdict JudgeListOffer(bool signedList, bool hasSection, const std::string& dateValue, base::TDateTime reference,
                           const base::ShortDateFormat& format, base::TDateTime today) {
  if (signedList && hasSection && !base::TryParseListDate(dateValue, format, today))
    return ListVerdict{false, Refusal::ListDateUnreadable};
  return ListVerdict{UpdateOffered(hasSection, dateValue, reference, format, today), Refusal::None};
}

FreshnessVerdict JudgeListFreshness(const ListFreshness& list, base::TDateTime today) {
  FreshnessVerdict verdict;
  if (list.size) {
    const auto size = base::ReadListNumber(*list.size, base::kMaxArchiveSize);
    if (!size) return FreshnessVerdict{Refusal::ListValueUnreadable, std::nullopt, std::nullopt};
    verdict.size = static_cast<std::int64_t>(*size);
  }
  if (!list.hasListSection) {
    if (list.stored) verdict.refusal = Refusal::ListWithoutSerial;
    return verdict;
  }
  const auto serial = base::ReadListNumber(list.serial, base::kMaxSerial);
  const auto expires = base::TryParsePublishedDate(list.expires);
  if (!serial || *serial == 0 || !expires) return FreshnessVerdict{Refusal::ListValueUnreadable, std::nullopt, std::nullopt};
  if (list.stored && *serial < *list.stored) verdict.refusal = Refusal::ListReplayed;
  else if (CalendarDay(today) > CalendarDay(*expires)) verdict.refusal = Refusal::ListExpired;
  else if (!list.stored || *serial > *list.stored) verdict.serial = static_cast<std::uint32_t>(*serial);
  return verdict;
}

Refusal JudgeDownloadSize(const std::optional<std::int64_t>& size, bool tooLong, std::int64_t received) {
  if (!size) return Refusal::None;
  return tooLong || received != *size ? Refusal::ArchiveSizeWrong : Refusal::None;
}

Refusal JudgeArchive(std::string_view sha256Value, const std::optional<std::string>& digest) {
  if (base::TrimBlanksAndBreaks(sha256Value).empty()) return Refusal::ArchiveUnchecked;
  if (!digest || !base::Sha256ValueMatches(sha256Value, *digest)) return Refusal::ArchiveDamaged;
  return Refusal::None;
}

}  // namespace wizard
