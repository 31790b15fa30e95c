// The engine's view of the outside world.
//
// The installation run and its operations talk to files, processes, the
// window and the network only through these small interfaces. The Win32
// implementations live in platform/win32; the tests use recording fakes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pravonell {

// A file opened for writing a download into. Closing it is also what its
// destructor does, so a transfer that raises still leaves it closed.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Write(std::span<const char> bytes) = 0;  // raises Error
  // Sets the file's length (extending or cutting it); the write position stays.
  virtual void SetLength(std::uint64_t length) = 0;
  // Empties the file; the next write goes to its start.
  virtual void Restart() = 0;
  // Puts what was written on the disk itself, past the system's cache.
  virtual void Flush() = 0;
  // Raises DiskFull when the file's volume has room for fewer than that many
  // more bytes; does nothing when the room cannot be known. Write and
  // SetLength raise DiskFull too when the disk fills up.
  virtual void EnsureRoom(std::uint64_t bytes) = 0;
  virtual void Close() = 0;
};

// A file's size and last write time as the file system tells them.
struct FileStamp {
  std::uint64_t size = 0;
  std::uint64_t writeTime = 0;  // in the file system's own units
  bool operator==(const FileStamp&) const = default;
};

// The files a record of downloads needs: the record itself, and the files
// it speaks of.
class RecordFiles {
 public:
  virtual ~RecordFiles() = default;
  // The stamp of a file; nothing when there is no such file.
  virtual std::optional<FileStamp> Stamp(const std::wstring& path) = 0;
  // A small file's whole content; nothing when it cannot be read or holds
  // more than `limit` bytes (a part of it would be read as if it were all).
  virtual std::optional<std::string> ReadWhole(const std::wstring& path, std::size_t limit) = 0;
  // Writes the bytes under the name in one step: a reader finds the old
  // content or the new, whole, and nothing else is left beside it. Raises
  // Error when it cannot.
  virtual void WriteWhole(const std::wstring& path, const std::string& bytes) = 0;
  // Opens an existing file for writing without emptying it: it is cut to
  // `keep` bytes (left untouched when it has exactly that many) and the next
  // write goes after them. Raises Error naming the path when it cannot.
  virtual std::unique_ptr<OutputFile> OpenKeeping(const std::wstring& path, std::uint64_t keep) = 0;
};

// A file opened for reading, from its start.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Up to buffer.size() bytes; 0 at the end. Raises Error when reading fails.
  virtual std::size_t Read(std::span<char> buffer) = 0;
};

// What a folder holds: the names of its files and of its folders.
struct FolderEntries {
  std::vector<std::wstring> files;
  std::vector<std::wstring> folders;
};

class FileSystem : public RecordFiles {
 public:
  virtual bool DirectoryExists(const std::wstring& path) = 0;
  // True only for a file, not for a folder of that name.
  virtual bool FileExists(const std::wstring& path) = 0;
  // Creates every missing folder of the path; true when the folder exists after.
  virtual bool ForceDirectories(const std::wstring& path) = 0;
  // Creates the file or empties an existing one; raises Error naming the path
  // and the system's reason when it cannot.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::wstring& path) = 0;
  // 0 when the file is gone; otherwise the system's error code (32 while
  // another program holds it open).
  virtual std::uint32_t RemoveFile(const std::wstring& path) = 0;
  // Clears the read-only attribute, so the file can be removed or replaced.
  virtual void MakeWritable(const std::wstring& path) = 0;
  // True when the path itself is a link (a junction, a symbolic link, any
  // reparse point), looked at without following it.
  virtual bool IsLink(const std::wstring& path) = 0;
  // What the folder holds; a link in it is listed as a file, never as a
  // folder to go into. Raises Error naming the folder and the system's
  // reason when it cannot be listed.
  virtual FolderEntries ListFolder(const std::wstring& folder) = 0;
  // Moves a file within its volume under a name where nothing is; it never
  // replaces what is there, and the file appears there whole or not at all.
  // 0, or the system's error code (183 or 80 when the name is taken).
  virtual std::uint32_t MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) = 0;
  // Removes a folder and everything in it, following no link: a link at the
  // top is removed as a link, and so is one inside. Nothing there is fine.
  // Raises Error naming what could not be removed and the system's reason.
  virtual void RemoveFolderTree(const std::wstring& folder) = 0;
  // Copies a file over another name; what stood there is replaced whole or
  // not at all. Raises Error naming the path and the system's reason.
  virtual void CopyReplacing(const std::wstring& from, const std::wstring& to) = 0;
  // Moves a file within its volume over another name, in one step: what
  // stood there (even read-only) is replaced. Raises Error naming the path
  // and the system's reason.
  virtual void MoveReplacing(const std::wstring& from, const std::wstring& to) = 0;
  // The file for reading; nothing when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenForReading(const std::wstring& path) = 0;
  // The bytes the person may still write on the folder's volume; nothing
  // when it cannot be known.
  virtual std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) = 0;
};

// System error codes the engine tells apart.
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorHandleDiskFull = 39;

// A program started by the engine. Destroying it releases its handles; it
// does not end the program.
class Process {
 public:
  virtual ~Process() = default;
  static constexpr unsigned kForever = 0xFFFFFFFF;
  // True once the program has ended, waiting at most that long.
  virtual bool Wait(unsigned milliseconds) = 0;
  virtual std::uint32_t ExitCode() = 0;
  // Ends the program at once (for a hidden program of ours that must not
  // outlive the run that started it).
  virtual void Terminate() = 0;
};

// The outcome of a start: the program, or the system's reason (its error
// code, and its text when the system has one) why it did not start.
struct Started {
  std::unique_ptr<Process> process;
  std::uint32_t error = 0;
  std::wstring reason;
};

// System error codes a start can answer with.
inline constexpr std::uint32_t kErrorElevationRequired = 740;  // the program asks for administrator rights
inline constexpr std::uint32_t kErrorCancelled = 1223;         // the person declined the elevation prompt

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts a command line (program first). A hidden program shows no window.
  virtual Started Start(const std::wstring& commandLine, bool hidden) = 0;
  // Starts a program through the system's elevation prompt, in the same
  // working folder as Start.
  virtual Started StartElevated(const std::wstring& program) = 0;
};

// A shell shortcut's fields.
struct ShellLink {
  std::wstring description;
  std::wstring target;
  std::wstring arguments;
  std::wstring workingDirectory;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // The user's own desktop folder, without a final backslash; "" when unknown.
  virtual std::wstring DesktopFolder() = 0;
  // Writes the shortcut file; raises Error when the shell's link object or
  // one of its interfaces is missing. Later failures are not reported.
  virtual void SaveShellLink(const ShellLink& link, const std::wstring& file) = 0;
};

// Time as the window's thread sees it. Only the pumped waits (waiting.h) use
// it, one short slice at a time.
class Pauses {
 public:
  virtual ~Pauses() = default;
  // A clock that only goes forward, in milliseconds.
  virtual std::uint64_t NowMs() = 0;
  // Waits up to that long; may come back sooner when a window message
  // arrives, so that the window is served at once.
  virtual void Sleep(unsigned milliseconds) = 0;
};

// The module label, status label, progress bar and caption of the window.
class StatusDisplay {
 public:
  virtual ~StatusDisplay() = default;
  virtual void SetModuleText(const std::wstring& text) = 0;
  virtual void SetModuleVisible(bool visible) = 0;
  virtual void SetStatusText(const std::wstring& text) = 0;
  virtual std::wstring StatusText() = 0;
  virtual void SetStatusVisible(bool visible) = 0;
  virtual void SetProgressMax(std::int32_t max) = 0;
  virtual std::int32_t ProgressMax() = 0;
  virtual void SetProgressPosition(std::int32_t position) = 0;
  virtual void SetCaption(const std::wstring& caption) = 0;
};

// Where the whole installation stands, for the install page's heading: the
// four steps in their order, and where the run is within the current one.
enum class InstallStep { Download, Extract, Setups, Finish, Done };

class InstallOverview {
 public:
  virtual ~InstallOverview() = default;
  // The run is at this step (the earlier ones are done); detail says where
  // within it: "Arquivo 3 de 11", a setup's name, or "".
  virtual void SetStep(InstallStep step, const std::wstring& detail) = 0;
  // The run ended without finishing the installation.
  virtual void SetStopped() = 0;
};

// What the run asks of the window besides the status display.
class WindowOps {
 public:
  virtual ~WindowOps() = default;
  virtual void Repaint() = 0;
  // Handles every pending window message, user input included.
  virtual void ProcessMessages() = 0;
  // A modal box with the text and one OK button; returns when dismissed.
  virtual void ShowMessage(const std::wstring& text) = 0;
  // Posts the close request; the window closes once the run has returned.
  virtual void RequestClose() = 0;
};

// Where the engine yields to the window. Implemented by the run's control,
// which raises RunStopped here once the window has asked the run to stop.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void ProcessMessages() = 0;
  // Serves the window without raising, for a wait that must run to its end
  // even after a stop was asked (a setup program).
  virtual void ProcessMessagesWithoutStopping() { ProcessMessages(); }
};

// The text of the directory field, read at the start of each run.
class InstallForm {
 public:
  virtual ~InstallForm() = default;
  virtual std::wstring DirectoryText() = 0;
};

class Bitness {
 public:
  virtual ~Bitness() = default;
  // True when the installer runs under WOW64 on 64-bit Windows; false on
  // 32-bit Windows and when the test cannot be made.
  virtual bool IsWindows64() = 0;
  // True when Windows itself is 32-bit, as the system reports its native
  // architecture.
  virtual bool IsWindows32Only() = 0;
};

// A SHA-256 digest.
using Digest = std::array<std::uint8_t, 32>;

// SHA-256 of the bytes added, in order.
class Sha256 {
 public:
  virtual ~Sha256() = default;
  virtual void Add(std::span<const char> bytes) = 0;
  // The digest of everything added since it was made.
  virtual Digest Finish() = 0;
};

// The platform's cryptography. Keys and signatures are raw: a P-256 public
// key is the point's X then Y (32 bytes each), a signature r then s.
class Crypto {
 public:
  virtual ~Crypto() = default;
  virtual std::unique_ptr<Sha256> NewSha256() = 0;
  // True only when the signature is the key's ECDSA signature of the digest.
  virtual bool VerifyP256(std::span<const std::uint8_t, 64> publicKey, const Digest& digest,
                          std::span<const std::uint8_t, 64> signature) = 0;
};

// One request to the vendor's site; the status code as text, or nothing when
// the address could not be opened or the status not read. Never raises.
class StatusProbe {
 public:
  virtual ~StatusProbe() = default;
  virtual std::wstring QueryStatus(const std::wstring& address) = 0;
};

// The operations the run calls, each implemented by its own module.
class ReachabilityProbe {
 public:
  virtual ~ReachabilityProbe() = default;
  virtual bool CheckURL(const std::wstring& url, int varnisca) = 0;
};

// What an earlier run of the same installation knows of a file it fetched.
struct KnownFile {
  std::string etag;  // the server's validators when the file was fetched
  std::string lastModified;
  std::optional<std::uint64_t> total;  // the whole file's length, when announced
  std::uint64_t have = 0;              // bytes of it known to be in the file, from its start
  bool complete = false;               // every byte is there
};

// Told where a transfer stands, so that a record of it can be kept. The
// record must never claim more than this says: a file that starts over is
// told at once, before any byte of the new answer is written.
class TransferRecorder {
 public:
  virtual ~TransferRecorder() = default;
  // The file starts (again) from its first byte with an answer that carries
  // these validators and total; "" and nothing while no answer is known.
  virtual void Began(const std::string& etag, const std::string& lastModified,
                     std::optional<std::uint64_t> total) = 0;
  // That many bytes of the file, from its start, are in it now.
  virtual void Written(std::uint64_t bytes) = 0;
  // The file reached a known end: the total the server announced, or the
  // last chunk of a chunked body (or the server said the file is still
  // its own). A body that ended only because the connection closed is
  // never whole: nothing shows that the close was not a cut.
  virtual void Whole() = 0;
};

enum class Fetched {
  Body,  // the file holds the body the server sent
  Kept,  // the server said the file is still its current one: left as it was
};

class Downloader {
 public:
  virtual ~Downloader() = default;
  // Writes the body of "http://" + download host + urlPath into the file;
  // raises Error when the transfer fails. With what an earlier run knows of
  // the file, a complete one is confirmed with the server (and kept when it
  // is still current), and a partial one is continued where it stopped.
  virtual Fetched Fetch(const std::wstring& urlPath, OutputFile& file, const KnownFile* known,
                        TransferRecorder* recorder) = 0;
  void BaixarArquivo(const std::wstring& urlPath, OutputFile& file) { Fetch(urlPath, file, nullptr, nullptr); }
};

class Extraction {
 public:
  virtual ~Extraction() = default;
  virtual bool DescompactarWINRAR(const std::wstring& origem, const std::wstring& destino,
                                  const std::wstring& tipo, bool win64) = 0;
  virtual void DeletaArquivosRAR() = 0;
  // Why the archiver of the last DescompactarWINRAR that gave false never
  // ran (the system's reason); "" when it ran, or when it was not asked to.
  virtual std::wstring ArchiverStartFailure() const { return L""; }
};

class Setups {
 public:
  virtual ~Setups() = default;
  virtual bool InstalarAplicativo(const std::wstring& nome, const std::wstring& pathInstalar) = 0;
  // Why the setup of the last InstalarAplicativo that gave false could not
  // be started (the system's reason); "" when it ran, or was not there.
  virtual std::wstring SetupStartFailure() const { return L""; }
};

class Shortcuts {
 public:
  virtual ~Shortcuts() = default;
  virtual void CriarAtalhos(const std::wstring& sistema) = 0;
};

class CustomerConfig {
 public:
  virtual ~CustomerConfig() = default;
  virtual void GravarConfiguracao(const std::wstring& dirSistema) = 0;
};

}  // namespace pravonell
