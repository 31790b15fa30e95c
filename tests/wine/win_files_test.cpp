// The Win32 file ports against the real file system (under Wine in CI).
#include "platform/win32/win_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/error.h"
#include "tests/wine/scratch.h"

namespace pravonell::win32 {
namespace {

using testing::ReadBytes;
using testing::Scratch;


TEST(Win32FileSystem, ForceDirectoriesMakesEveryMissingFolder) {
  Scratch scratch;
  Win32FileSystem fs;
  const std::wstring deep = scratch.Path(L"a\\b c\\d\\");
  EXPECT_FALSE(fs.DirectoryExists(deep));
  EXPECT_TRUE(fs.ForceDirectories(deep));
  EXPECT_TRUE(fs.DirectoryExists(deep));
  EXPECT_TRUE(fs.ForceDirectories(deep));  // already there
  EXPECT_TRUE(fs.ForceDirectories(L"C:\\"));
}

TEST(Win32FileSystem, ForceDirectoriesFailsUnderAFile) {
  Scratch scratch;
  Win32FileSystem fs;
  scratch.Write(L"plain", "x");
  EXPECT_FALSE(fs.ForceDirectories(scratch.Path(L"plain\\sub\\")));
  EXPECT_FALSE(fs.ForceDirectories(L""));
}

TEST(Win32FileSystem, ExistenceTellsFilesFromFolders) {
  Scratch scratch;
  Win32FileSystem fs;
  scratch.Write(L"file.txt", "x");
  EXPECT_TRUE(fs.FileExists(scratch.Path(L"file.txt")));
  EXPECT_FALSE(fs.DirectoryExists(scratch.Path(L"file.txt")));
  EXPECT_TRUE(fs.DirectoryExists(scratch.Path(L"")));
  EXPECT_FALSE(fs.FileExists(scratch.Path(L"")));
  EXPECT_FALSE(fs.FileExists(scratch.Path(L"absent")));
}

TEST(Win32FileSystem, OutputFileEmptiesAnExistingFileAndSharesNothing) {
  Scratch scratch;
  Win32FileSystem fs;
  scratch.Write(L"out.bin", "old content that is longer");
  auto file = fs.CreateOutputFile(scratch.Path(L"out.bin"));
  EXPECT_EQ(ReadBytes(scratch.Path(L"out.bin")), "<missing>");  // no sharing while open
  file->Write(std::span<const char>("new", 3));
  file->Close();
  EXPECT_EQ(ReadBytes(scratch.Path(L"out.bin")), "new");
}

TEST(Win32FileSystem, OutputFileLengthExtendsAndCutsWithoutMovingTheWritePosition) {
  Scratch scratch;
  Win32FileSystem fs;
  auto file = fs.CreateOutputFile(scratch.Path(L"sized.bin"));
  file->SetLength(10);
  file->Write(std::span<const char>("abc", 3));
  file->SetLength(3);
  file->Write(std::span<const char>("de", 2));
  file->Close();
  EXPECT_EQ(ReadBytes(scratch.Path(L"sized.bin")), "abcde");
}

TEST(Win32FileSystem, OutputFileThatCannotBeCreatedNamesThePathAndReason) {
  Scratch scratch;
  Win32FileSystem fs;
  const std::wstring path = scratch.Path(L"no such folder\\x.rar");
  try {
    fs.CreateOutputFile(path);
    FAIL() << "no error";
  } catch (const Error& e) {
    const std::wstring expected = L"Cannot create file \"" + path + L"\". ";
    EXPECT_EQ(e.message().substr(0, expected.size()), expected);
    EXPECT_GT(e.message().size(), expected.size());  // the system's reason follows
    EXPECT_NE(e.message().back(), L'.');
  }
}

TEST(Win32FileSystem, DeleteFileAnswersTheSystemsReason) {
  Scratch scratch;
  Win32FileSystem fs;
  scratch.Write(L"a.rar", "x");
  EXPECT_EQ(fs.RemoveFile(scratch.Path(L"a.rar")), 0u);
  EXPECT_FALSE(fs.FileExists(scratch.Path(L"a.rar")));
  EXPECT_EQ(fs.RemoveFile(scratch.Path(L"a.rar")), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  // Held open by another program (an antivirus scanning it): a sharing violation.
  scratch.Write(L"b.rar", "x");
  const HANDLE held = CreateFileW(scratch.Path(L"b.rar").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(fs.RemoveFile(scratch.Path(L"b.rar")), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  CloseHandle(held);
  EXPECT_EQ(fs.RemoveFile(scratch.Path(L"b.rar")), 0u);
}

// What the database's move into Dados relies on: a move never replaces a
// file that is there, and the staging folder goes whole, read-only files
// included.
TEST(Win32FileSystem, MovesNeverReplaceAndTreesGoWhole) {
  Scratch scratch;
  Win32FileSystem fs;
  scratch.Write(L"staging\\new.FDB", "served");
  scratch.Write(L"staging\\taken.FDB", "served too");
  scratch.Write(L"staging\\sub\\ro.txt", "read-only");
  SetFileAttributesW(scratch.Path(L"staging\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  scratch.Write(L"Dados\\taken.FDB", "the customer's");

  FolderEntries entries = fs.ListFolder(scratch.Path(L"staging"));
  std::sort(entries.files.begin(), entries.files.end());
  EXPECT_EQ(entries.files, (std::vector<std::wstring>{L"new.FDB", L"taken.FDB"}));
  EXPECT_EQ(entries.folders, std::vector<std::wstring>{L"sub"});
  EXPECT_TRUE(fs.ListFolder(scratch.Path(L"absent")).files.empty());

  EXPECT_EQ(fs.MoveWithoutReplacing(scratch.Path(L"staging\\new.FDB"), scratch.Path(L"Dados\\new.FDB")), 0u);
  const std::uint32_t taken =
      fs.MoveWithoutReplacing(scratch.Path(L"staging\\taken.FDB"), scratch.Path(L"Dados\\taken.FDB"));
  EXPECT_TRUE(taken == kErrorAlreadyExists || taken == kErrorFileExists) << taken;
  EXPECT_EQ(ReadBytes(scratch.Path(L"Dados\\new.FDB")), "served");
  EXPECT_EQ(ReadBytes(scratch.Path(L"Dados\\taken.FDB")), "the customer's");

  EXPECT_EQ(fs.RemoveFolderTree(scratch.Path(L"staging")), 0u);
  EXPECT_FALSE(fs.DirectoryExists(scratch.Path(L"staging")));
  EXPECT_EQ(fs.RemoveFolderTree(scratch.Path(L"staging")), 0u);  // nothing there is gone already
}

// The kept copy of a configuration file replaces an older copy whole, even
// a read-only one; and a read-only mark can be made removable.
TEST(Win32FileSystem, CopyReplacingAndMakingWritable) {
  Scratch scratch;
  Win32FileSystem fs;
  scratch.Write(L"Quilmarde.ini", "[BANCO_DADOS]\r\nCaminho=\\\\SERVIDOR\\Dados\\VARNISCA.FDB\r\n");
  scratch.Write(L"Quilmarde.ini.anterior", "an older copy");
  SetFileAttributesW(scratch.Path(L"Quilmarde.ini.anterior").c_str(), FILE_ATTRIBUTE_READONLY);
  fs.CopyReplacing(scratch.Path(L"Quilmarde.ini"), scratch.Path(L"Quilmarde.ini.anterior"));
  EXPECT_EQ(ReadBytes(scratch.Path(L"Quilmarde.ini.anterior")), ReadBytes(scratch.Path(L"Quilmarde.ini")));
  EXPECT_FALSE(fs.FileExists(scratch.Path(L"Quilmarde.ini.anterior.parcial")));
  EXPECT_THROW(fs.CopyReplacing(scratch.Path(L"absent"), scratch.Path(L"copy")), Error);

  scratch.Write(L"mark.txt", "x");
  SetFileAttributesW(scratch.Path(L"mark.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_NE(fs.RemoveFile(scratch.Path(L"mark.txt")), 0u);
  fs.MakeWritable(scratch.Path(L"mark.txt"));
  EXPECT_EQ(fs.RemoveFile(scratch.Path(L"mark.txt")), 0u);
}

}  // namespace
}  // namespace pravonell::win32
