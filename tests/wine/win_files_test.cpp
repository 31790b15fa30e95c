// The Win32 file ports against the real file system (under Wine in CI).
#include "platform/win32/win_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/error.h"
#include "tests/fakes/text.h"
#include "tests/standins/unix_command.h"
#include "tests/wine/scratch.h"

namespace pravonell::win32 {
namespace {

using testing::ReadBytes;
using testing::Scratch;
using testing::Utf8;


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
  EXPECT_THROW(fs.ListFolder(scratch.Path(L"absent")), Error);  // not there is not empty

  EXPECT_EQ(fs.MoveWithoutReplacing(scratch.Path(L"staging\\new.FDB"), scratch.Path(L"Dados\\new.FDB")), 0u);
  const std::uint32_t taken =
      fs.MoveWithoutReplacing(scratch.Path(L"staging\\taken.FDB"), scratch.Path(L"Dados\\taken.FDB"));
  EXPECT_TRUE(taken == kErrorAlreadyExists || taken == kErrorFileExists) << taken;
  EXPECT_EQ(ReadBytes(scratch.Path(L"Dados\\new.FDB")), "served");
  EXPECT_EQ(ReadBytes(scratch.Path(L"Dados\\taken.FDB")), "the customer's");

  fs.RemoveFolderTree(scratch.Path(L"staging"));
  EXPECT_FALSE(fs.DirectoryExists(scratch.Path(L"staging")));
  fs.RemoveFolderTree(scratch.Path(L"staging"));  // nothing there is gone already
}

// A directory link made the way Wine has real ones: a Linux symbolic link in
// the prefix. Wine reports it as a reparse point (a junction or a directory
// link on Windows) and follows it. (Links that a Windows program makes under
// Wine 8, with CreateSymbolicLinkW or FSCTL_SET_REPARSE_POINT, are not made.)
void LinkFromLinux(const std::wstring& link, const std::wstring& target) {
  ASSERT_EQ(standin::RunUnixCommand("ln -s " + standin::ShellQuote(standin::UnixPathOf(target)) + " " +
                                    standin::ShellQuote(standin::UnixPathOf(link))),
            0);
}

// What anyone may put where the database is unpacked aside: a directory link
// in its place, or one inside it, each leading to a folder with a file of
// someone else's. Removing the folder never goes through the link: what it
// leads to keeps its file. On Windows the link itself is then removed as a
// link; Wine follows a link even to remove it, so there the removal stops
// with the system's reason instead, which leaves what it leads to alone too.
TEST(Win32FileSystem, LinksAreNeverFollowedWhenAFolderIsRemoved) {
  const struct {
    const char* name;
    std::wstring link;
    bool linkAtTheTop;
  } rows[] = {
      {"a directory link in place of the folder", L"staging", true},
      {"a directory link inside the folder", L"staging\\inside", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Scratch scratch;
    Win32FileSystem fs;
    scratch.Write(L"target\\Contrato.docx", "someone else's");
    if (!row.linkAtTheTop) scratch.Write(L"staging\\own.txt", "the archive's");
    LinkFromLinux(scratch.Path(row.link), scratch.Path(L"target"));
    ASSERT_EQ(ReadBytes(scratch.Path(row.link + L"\\Contrato.docx")), "someone else's");  // it leads there
    EXPECT_TRUE(fs.IsLink(scratch.Path(row.link)));
    EXPECT_EQ(fs.IsLink(scratch.Path(L"staging")), row.linkAtTheTop);
    if (!row.linkAtTheTop) {
      const FolderEntries entries = fs.ListFolder(scratch.Path(L"staging"));
      EXPECT_TRUE(entries.folders.empty());  // a link is never a folder to go into
    }
    try {
      fs.RemoveFolderTree(scratch.Path(L"staging"));
      EXPECT_FALSE(fs.IsLink(scratch.Path(row.link)));
    } catch (const Error& e) {
      EXPECT_NE(e.message().find(scratch.Path(row.link)), std::wstring::npos) << Utf8(e.message());
    }
    EXPECT_EQ(ReadBytes(scratch.Path(L"target\\Contrato.docx")), "someone else's");
    standin::RunUnixCommand("rm -f " + standin::ShellQuote(standin::UnixPathOf(scratch.Path(row.link))));
  }
  Win32FileSystem fs;
  Scratch scratch;
  scratch.Write(L"plain\\a.txt", "x");
  EXPECT_FALSE(fs.IsLink(scratch.Path(L"plain")));
  EXPECT_FALSE(fs.IsLink(scratch.Path(L"plain\\a.txt")));
}

// A write the system reports failed only when the file is closed is a
// failed write, and says the system's reason.
TEST(Win32FileSystem, CloseThatFailsIsAFailedWrite) {
  Scratch scratch;
  HANDLE handle = CreateFileW(scratch.Path(L"out.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  // A handle that will not close stands for a close the system refuses.
  ASSERT_TRUE(SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE));
  {
    std::unique_ptr<OutputFile> file = OutputFileOf(handle, scratch.Path(L"out.bin"));
    file->Write(std::span<const char>("abc", 3));
    try {
      file->Close();
      ADD_FAILURE() << "a failed close passed";
    } catch (const Error& e) {
      EXPECT_EQ(e.message().rfind(L"Cannot write to file \"" + scratch.Path(L"out.bin") + L"\". ", 0), 0u);
    }
  }
  SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
  CloseHandle(handle);
}

// What a download proven by its hash needs: it is read back, moved over the
// file under its name in one step (even a read-only one), and the room on
// the disk is known.
TEST(Win32FileSystem, ReadingMovingOverAndFreeSpace) {
  Scratch scratch;
  Win32FileSystem fs;
  scratch.Write(L"Kestrimo.rar.baixando", "the vendor's");
  scratch.Write(L"Kestrimo.rar", "someone else's");
  SetFileAttributesW(scratch.Path(L"Kestrimo.rar").c_str(), FILE_ATTRIBUTE_READONLY);
  std::unique_ptr<InputFile> in = fs.OpenForReading(scratch.Path(L"Kestrimo.rar.baixando"));
  ASSERT_NE(in, nullptr);
  char buffer[64];
  EXPECT_EQ(in->Read(buffer), 12u);
  EXPECT_EQ(in->Read(buffer), 0u);
  in.reset();
  EXPECT_EQ(fs.OpenForReading(scratch.Path(L"absent")), nullptr);
  fs.MoveReplacing(scratch.Path(L"Kestrimo.rar.baixando"), scratch.Path(L"Kestrimo.rar"));
  EXPECT_EQ(ReadBytes(scratch.Path(L"Kestrimo.rar")), "the vendor's");
  EXPECT_FALSE(fs.FileExists(scratch.Path(L"Kestrimo.rar.baixando")));
  EXPECT_THROW(fs.MoveReplacing(scratch.Path(L"absent"), scratch.Path(L"Kestrimo.rar")), Error);
  const std::optional<std::uint64_t> free = fs.FreeSpace(scratch.Path(L""));
  ASSERT_TRUE(free.has_value());
  EXPECT_GT(*free, 0u);
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
