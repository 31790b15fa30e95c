// The vendor's publishing tool: writes the signed list of the files of the
// install plan into the folder the vendor publishes.
//   pravonell-publish SITE KEY [--serial N] [--date YYYY-MM-DD] [--room PATH=BYTES]...
//   pravonell-publish --public-key KEY
//   pravonell-publish --archives
// SITE is the folder whose files the download host serves by their URL
// paths; KEY the vendor's ECDSA P-256 private key (PEM). Each file of the
// plan (the eleven downloads and both WinRAR setups) is listed with its
// size and SHA-256, each archive with the room its content takes unpacked
// (--room, measured by scripts/publish). The serial is the one given, or
// one more than the list already in SITE has. The list goes to
// SITE/uploads/download/pravonell.lista, whole or not at all.
// --public-key prints the key's public half as the build setting
// PRAVONELL_VENDOR_KEY takes it; --archives the URL paths of the plan's
// archives, a line each.
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "engine/install_plan.h"
#include "engine/vendor_list.h"
#include "platform/posix/posix_crypto.h"

namespace {

using namespace pravonell;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "pravonell-publish: %s\n", message.c_str());
  std::exit(1);
}

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

Key ReadKey(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) Fail("cannot read the key " + path);
  EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
  std::fclose(file);
  if (key == nullptr || EVP_PKEY_get_bits(key) != 256 || !EVP_PKEY_is_a(key, "EC")) {
    Fail(path + " is not an ECDSA P-256 private key");
  }
  return Key(key);
}

std::array<std::uint8_t, 64> PublicHalf(EVP_PKEY* key) {
  unsigned char point[65];
  std::size_t length = 0;
  if (EVP_PKEY_get_octet_string_param(key, "encoded-pub-key", point, sizeof point, &length) != 1 ||
      length != 65 || point[0] != 0x04) {
    Fail("cannot read the key's public half");
  }
  std::array<std::uint8_t, 64> raw{};
  std::copy(point + 1, point + 65, raw.begin());
  return raw;
}

// The ECDSA signature of the digest, as the program checks it: r then s.
std::array<std::uint8_t, 64> Sign(EVP_PKEY* key, const Digest& digest) {
  std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> context(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
  std::size_t length = 0;
  if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
      EVP_PKEY_sign(context.get(), nullptr, &length, digest.data(), digest.size()) != 1) {
    Fail("cannot sign");
  }
  std::string der(length, '\0');
  if (EVP_PKEY_sign(context.get(), reinterpret_cast<unsigned char*>(der.data()), &length, digest.data(),
                    digest.size()) != 1) {
    Fail("cannot sign");
  }
  const unsigned char* at = reinterpret_cast<const unsigned char*>(der.data());
  std::unique_ptr<ECDSA_SIG, void (*)(ECDSA_SIG*)> signature(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(length)),
                                                              ECDSA_SIG_free);
  std::array<std::uint8_t, 64> raw{};
  if (!signature || BN_bn2binpad(ECDSA_SIG_get0_r(signature.get()), raw.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(signature.get()), raw.data() + 32, 32) != 32) {
    Fail("cannot read the signature");
  }
  return raw;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

// The serial of the list already published, 0 when there is none.
std::uint64_t PublishedSerial(const std::string& listFile) {
  std::ifstream in(listFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("serie ", 0) == 0) return std::stoull(line.substr(6));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--archives") {
    for (const ModuleRow& row : kModuleTable) {
      if (row.archiveBase != nullptr) std::printf("%s\n", Narrow(row.urlPath).c_str());
    }
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--public-key") {
    std::printf("%s\n", HexOf(PublicHalf(ReadKey(argv[2]).get())).c_str());
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: pravonell-publish SITE KEY [--serial N] [--date YYYY-MM-DD] [--room PATH=BYTES]...\n"
                 "       pravonell-publish --public-key KEY\n");
    return 2;
  }
  const std::string site = argv[1];
  const Key key = ReadKey(argv[2]);
  const std::string listFile = site + Narrow(kVendorListPath);
  VendorList list;
  list.date = Today();
  std::map<std::string, std::uint64_t> rooms;
  for (int i = 3; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) Fail("no value for " + option);
    const std::string value = argv[++i];
    if (option == "--serial") {
      list.serial = std::stoull(value);
    } else if (option == "--date") {
      list.date = value;
    } else if (option == "--room") {
      const auto equals = value.find('=');
      if (equals == std::string::npos) Fail("--room takes PATH=BYTES");
      rooms[value.substr(0, equals)] = std::stoull(value.substr(equals + 1));
    } else {
      Fail("unknown option " + option);
    }
  }
  if (list.serial == 0) list.serial = PublishedSerial(listFile) + 1;

  std::vector<std::pair<std::wstring, bool>> plan;  // URL path, and whether it is an archive
  for (const ModuleRow& row : kModuleTable) plan.emplace_back(row.urlPath, row.archiveBase != nullptr);
  plan.emplace_back(kWinrar64x, false);
  plan.emplace_back(kWinrar86x, false);
  posix::OpenSslCrypto crypto;
  for (const auto& [wide, archive] : plan) {
    const std::string path = Narrow(wide);
    std::ifstream in(site + path, std::ios::binary);
    if (!in) Fail("the plan's file " + site + path + " is not there");
    std::unique_ptr<Sha256> hash = crypto.NewSha256();
    ListedFile file;
    file.path = path;
    std::vector<char> block(1 << 20);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
      hash->Add(std::span(block.data(), static_cast<std::size_t>(in.gcount())));
      file.size += static_cast<std::uint64_t>(in.gcount());
    }
    file.sha256 = hash->Finish();
    if (archive) {
      const auto room = rooms.find(path);
      if (room == rooms.end()) Fail("no --room for the archive " + path);
      file.room = room->second;
    }
    list.files.push_back(std::move(file));
  }

  std::unique_ptr<Sha256> bodyHash = crypto.NewSha256();
  const std::string body = ListBody(list);
  bodyHash->Add(body);
  const std::string text = SignedListText(list, Sign(key.get(), bodyHash->Finish()));
  // The check the installer makes, made here too before anything is written.
  VendorKey check{PublicHalf(key.get()), 0};
  std::vector<std::string> required;
  for (const auto& entry : plan) required.push_back(Narrow(entry.first));
  if (CheckVendorList(text, crypto, check, 0, required).problem != ListProblem::None) {
    Fail("the list written does not pass the installer's own check");
  }
  const std::string partial = listFile + ".parcial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) Fail("cannot write " + partial);
  }
  if (std::rename(partial.c_str(), listFile.c_str()) != 0) Fail("cannot write " + listFile);
  std::printf("published: %s\nserial: %llu\ndate: %s\nfiles: %zu\npublic key: %s\n", listFile.c_str(),
              static_cast<unsigned long long>(list.serial), list.date.c_str(), list.files.size(),
              HexOf(check.publicKey).c_str());
  return 0;
}
