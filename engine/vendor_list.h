// The vendor's signed list of the files of the install plan.
//
// Each publication of the vendor's site carries one list: for every file of
// the plan its URL path, size and SHA-256, and for each archive the room its
// content takes once unpacked; a serial number that grows with every
// publication, and the date. One ECDSA P-256 signature covers all of it, so
// files of different publications cannot be mixed, and a run refuses a list
// older than the build's floor or than the one an earlier run of the same
// unfinished installation used, so an older set cannot be replayed.
//
// The text, lines ended by LF alone:
//   pravonell-lista 1
//   serie 12
//   data 2026-12-11
//   arquivo /uploads/download/file/73/quilmarde.ini 172 <sha-256, 64 hex> -
//   arquivo /uploads/download/file/59/Kestrimo.7z 5242880 <sha-256> 6291456
//   ...
//   assinatura <r then s, 128 hex>
// The signature is over the SHA-256 of every byte before its own line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ports.h"

namespace pravonell {

struct ListedFile {
  std::string path;  // on the download host
  std::uint64_t size = 0;
  Digest sha256{};
  std::optional<std::uint64_t> room;  // an archive's content once unpacked
};

struct VendorList {
  std::uint64_t serial = 0;
  std::string date;  // YYYY-MM-DD
  std::vector<ListedFile> files;

  const ListedFile* Find(std::string_view path) const;
};

// The vendor's public key (X then Y) and the oldest list a build accepts.
struct VendorKey {
  std::array<std::uint8_t, 64> publicKey{};
  std::uint64_t floor = 0;  // the serial of the newest list when the build was released
};

// A key written as 128 hex digits (X then Y); nothing when it is not that.
std::optional<std::array<std::uint8_t, 64>> PublicKeyFromHex(std::string_view hex);

// Why a list was refused.
enum class ListProblem {
  None,
  Unreachable,    // it could not be fetched (detail: the error)
  Cut,            // it came incomplete
  Unreadable,     // it is not a list, or one of another format
  NotTheVendors,  // its signature is not the vendor's (another key, or changed)
  BelowFloor,     // older than this installer
  OlderThanUsed,  // older than the one this unfinished installation used
  LacksFile,      // a file of the plan is not in it (detail: its path)
};

struct ListCheck {
  std::optional<VendorList> list;  // when it passed
  ListProblem problem = ListProblem::None;
  std::string detail;
};

// The bytes of a list as they came, checked: signed by the key, well formed,
// no older than the floor nor than usedBefore (the serial an earlier run of
// this installation used, 0 for none), and listing every required path.
ListCheck CheckVendorList(std::string_view bytes, Crypto& crypto, const VendorKey& key, std::uint64_t usedBefore,
                          const std::vector<std::string>& required);

// The largest list a run reads: the plan's thirteen files take about 2 KiB.
inline constexpr std::size_t kLargestList = 64 * 1024;

// For the vendor's publishing tool: the text the signature covers, and the
// whole list once signed.
std::string ListBody(const VendorList& list);
std::string SignedListText(const VendorList& list, const std::array<std::uint8_t, 64>& signature);

std::string HexOf(std::span<const std::uint8_t> bytes);

}  // namespace pravonell
