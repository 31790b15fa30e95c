// The vendor's list as a run reads it from the network: what passes, and
// each way a list can be other than the vendor's current one.
#include "engine/vendor_list.h"

#include <gtest/gtest.h>

#include "tests/fakes/toy_crypto.h"

namespace pravonell::testing {
namespace {

const std::string kSha = std::string(64, 'a');

VendorList Sample(std::uint64_t serial = 12) {
  VendorList list;
  list.serial = serial;
  list.date = "2026-12-11";
  ListedFile ini{"/uploads/download/file/73/quilmarde.ini", 172, {}, std::nullopt};
  ListedFile archive{"/uploads/download/file/59/Kestrimo.7z", 5242880, {}, 6291456};
  ini.sha256.fill(0x11);
  archive.sha256.fill(0xab);
  list.files = {ini, archive};
  return list;
}

const std::vector<std::string> kRequired = {"/uploads/download/file/73/quilmarde.ini",
                                            "/uploads/download/file/59/Kestrimo.7z"};

TEST(VendorList, WrittenByTheVendorsToolAndReadBack) {
  ToyCrypto crypto;
  const VendorKey key{ToyKey(1), 10};
  const std::string text = crypto.SignedList(Sample(), key.publicKey);
  EXPECT_EQ(text.rfind("pravonell-lista 1\nserie 12\ndata 2026-12-11\narquivo /uploads/download/file/73/quilmarde.ini "
                       "172 1111",
                       0),
            0u)
      << text;
  const ListCheck check = CheckVendorList(text, crypto, key, 0, kRequired);
  ASSERT_EQ(check.problem, ListProblem::None);
  ASSERT_TRUE(check.list.has_value());
  EXPECT_EQ(check.list->serial, 12u);
  const ListedFile* archive = check.list->Find("/uploads/download/file/59/Kestrimo.7z");
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->size, 5242880u);
  EXPECT_EQ(archive->room, std::optional<std::uint64_t>(6291456));
  EXPECT_EQ(archive->sha256[0], 0xab);
  EXPECT_FALSE(check.list->Find("/uploads/download/file/73/quilmarde.ini")->room.has_value());
}

TEST(VendorList, ListsThatAreNotTheVendorsCurrentOneAreRefused) {
  ToyCrypto crypto;
  const VendorKey key{ToyKey(1), 10};
  const std::string good = crypto.SignedList(Sample(), key.publicKey);
  const std::string body = ListBody(Sample());
  const std::string head = "pravonell-lista 1\nserie 12\ndata 2026-12-11\n";
  const std::string ini = "arquivo /uploads/download/file/73/quilmarde.ini 172 " + kSha + " -\n";
  const std::string archive = "arquivo /uploads/download/file/59/Kestrimo.7z 5242880 " + kSha + " 6291456\n";
  std::string crlf;
  for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::string changed = good;
  changed[body.find("5242880")] = '6';
  const struct {
    const char* name;
    std::string bytes;
    ListProblem problem;
    std::uint64_t usedBefore;
  } rows[] = {
      {"nothing at all", "", ListProblem::Cut, 0},
      {"a filter's block page", "<html><body>Acesso bloqueado pela política da empresa</body></html>",
       ListProblem::Unreadable, 0},
      {"cut inside its first line", good.substr(0, 9), ListProblem::Cut, 0},
      {"cut among its files", good.substr(0, body.size() - 20), ListProblem::Cut, 0},
      {"cut inside its signature", good.substr(0, good.size() - 30), ListProblem::Cut, 0},
      {"without its last line end", good.substr(0, good.size() - 1), ListProblem::Cut, 0},
      {"signed with another key", crypto.SignedList(Sample(), ToyKey(2)), ListProblem::NotTheVendors, 0},
      {"a size changed after signing", changed, ListProblem::NotTheVendors, 0},
      {"line ends turned into CR LF on the way", crlf, ListProblem::Unreadable, 0},
      {"bytes after the signature", good + "x\n", ListProblem::Unreadable, 0},
      {"a signature in capitals", body + "assinatura " + std::string(128, 'A') + "\n", ListProblem::Unreadable, 0},
      {"another format", crypto.Signed("pravonell-lista 2\nserie 12\ndata 2026-12-11\n" + ini, key.publicKey),
       ListProblem::Unreadable, 0},
      {"serial zero", crypto.Signed("pravonell-lista 1\nserie 0\ndata 2026-12-11\n" + ini, key.publicKey),
       ListProblem::Unreadable, 0},
      {"serial with a leading zero", crypto.Signed("pravonell-lista 1\nserie 012\ndata 2026-12-11\n" + ini, key.publicKey),
       ListProblem::Unreadable, 0},
      {"a date that does not exist", crypto.Signed("pravonell-lista 1\nserie 12\ndata 2026-02-29\n" + ini, key.publicKey),
       ListProblem::Unreadable, 0},
      {"no files", crypto.Signed(head, key.publicKey), ListProblem::Unreadable, 0},
      {"a file twice", crypto.Signed(head + ini + ini, key.publicKey), ListProblem::Unreadable, 0},
      {"a path that climbs", crypto.Signed(head + "arquivo /uploads/../x 1 " + kSha + " -\n", key.publicKey),
       ListProblem::Unreadable, 0},
      {"a path with a blank's escape", crypto.Signed(head + "arquivo /a%20b 1 " + kSha + " -\n", key.publicKey),
       ListProblem::Unreadable, 0},
      {"a digest in capitals",
       crypto.Signed(head + "arquivo /a 1 " + std::string(64, 'A') + " -\n", key.publicKey), ListProblem::Unreadable, 0},
      {"a short digest", crypto.Signed(head + "arquivo /a 1 " + kSha.substr(1) + " -\n", key.publicKey),
       ListProblem::Unreadable, 0},
      {"no room field", crypto.Signed(head + "arquivo /a 1 " + kSha + "\n", key.publicKey), ListProblem::Unreadable, 0},
      {"a size too large to be one", crypto.Signed(head + "arquivo /a 1000000000000000 " + kSha + " -\n", key.publicKey),
       ListProblem::Unreadable, 0},
      {"two blanks between fields", crypto.Signed(head + "arquivo /a  1 " + kSha + " -\n", key.publicKey),
       ListProblem::Unreadable, 0},
      {"a line it does not know", crypto.Signed(head + ini + "comentario nenhum\n", key.publicKey),
       ListProblem::Unreadable, 0},
      {"larger than any list", crypto.Signed(head + std::string(kLargestList, 'x') + "\n", key.publicKey),
       ListProblem::Unreadable, 0},
      {"below the build's floor", crypto.SignedList(Sample(9), key.publicKey), ListProblem::BelowFloor, 0},
      {"older than the one this installation used", good, ListProblem::OlderThanUsed, 13},
      {"the one this installation used", good, ListProblem::None, 12},
      {"lacks a file of the plan", crypto.Signed(head + ini, key.publicKey), ListProblem::LacksFile, 0},
      {"with a file besides the plan's",
       crypto.Signed(head + ini + archive + "arquivo /novo.7z 1 " + kSha + " 1\n", key.publicKey), ListProblem::None, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ListCheck check = CheckVendorList(row.bytes, crypto, key, row.usedBefore, kRequired);
    EXPECT_EQ(static_cast<int>(check.problem), static_cast<int>(row.problem));
    EXPECT_EQ(check.list.has_value(), row.problem == ListProblem::None);
    if (row.problem == ListProblem::LacksFile) {
      EXPECT_EQ(check.detail, "/uploads/download/file/59/Kestrimo.7z");
    }
  }
}

TEST(VendorList, KeysAreWrittenAsHexOfTheirPoint) {
  EXPECT_TRUE(PublicKeyFromHex(std::string(128, '0')).has_value());
  EXPECT_EQ((*PublicKeyFromHex("ff" + std::string(126, '0')))[0], 0xff);
  EXPECT_FALSE(PublicKeyFromHex(std::string(126, '0')).has_value());
  EXPECT_FALSE(PublicKeyFromHex(std::string(127, '0') + "g").has_value());
}

}  // namespace
}  // namespace pravonell::testing
