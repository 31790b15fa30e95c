// Fakes of the run's ports that write every call, text and pause into one
// shared log, in the order they happen, so a test can compare a whole run.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/ports.h"
#include "engine/run_control.h"
#include "engine/waiting.h"
#include "tests/fakes/text.h"

namespace pravonell::testing {

using Log = std::vector<std::string>;

inline constexpr std::uint32_t kErrorAccessDenied = 5;

// What the simulated PC and vendor look like for one run.
struct World {
  std::wstring directoryText = L"C:\\VARNISCA\\";
  std::set<std::wstring> directories;
  std::set<std::wstring> files;
  std::set<std::wstring> heldFiles;        // another program holds them: never removed
  std::set<std::wstring> readOnlyFiles;    // removed only once made writable
  bool forceDirectoriesWorks = true;
  bool windows64 = true;
  bool windows32Only = false;
  std::vector<bool> probeAnswers;         // consumed one per probe
  std::wstring failingDownload;           // URL path whose transfer raises
  std::wstring stoppedDownload;           // URL path during which the window closes
  std::wstring fullDiskDownload;          // URL path whose transfer finds the disk full
  std::uint64_t fullDiskMissing = 0;      // the bytes it lacks
  std::string serverEtag;                 // the validator every download answers with ("" for none)
  std::set<std::wstring> changedOnServer; // URL paths whose file the server now has anew
  std::map<std::wstring, bool> setupResults;  // by name; missing means success
  std::wstring failingExtraction;         // archive source path whose extraction fails
  std::wstring archiverStartFailure;      // why that archiver never ran ("" when it ran and failed)
  std::map<std::wstring, std::wstring> setupStartFailures;  // by name: why a failed setup never ran
  bool configWriteFails = false;
  std::optional<std::uint64_t> freeSpace;  // the room on the installation's disk, when known
  std::map<std::wstring, std::string> served;  // URL path -> the body the server sends (else its path)
  std::map<std::wstring, std::wstring> links;  // a link's path -> where it leads
  std::set<std::wstring> unreadableFolders;    // cannot be listed
  std::set<std::wstring> unremovableFolders;   // cannot be removed
  std::set<std::wstring> fullDiskFiles;        // a write into them finds the disk full
  bool configDiskFull = false;                 // the configuration write finds the disk full
};

class FakeRunPorts : public InstallForm,
                           public FileSystem,
                           public Pauses,
                           public Waits,
                           public StatusDisplay,
                           public WindowOps,
                           public Bitness,
                           public ReachabilityProbe,
                           public Downloader,
                           public Extraction,
                           public Setups,
                           public Shortcuts,
                           public CustomerConfig,
                           public InstallOverview {
 public:
  explicit FakeRunPorts(World world) : world_(std::move(world)) {}

  Log log;
  std::map<std::wstring, std::string> written;  // what was written into each file created
  Log overview;  // what the install page's heading was told, apart from the run's log
  RunControl* control = nullptr;  // the window asks it to stop
  MessagePump* pump = nullptr;    // what the downloader pumps through
  StatusDisplay* guardedDisplay = nullptr;  // what the downloader writes progress to

  // The window is closed at the next pump: the control is asked to stop.
  void CloseAtNextPump(RunControl& stopped) {
    control = &stopped;
    closeAtNextPump_ = true;
  }

  // What the PC and the vendor look like now; a test may change it between runs.
  World& world() { return world_; }

  // InstallForm
  std::wstring DirectoryText() override { return world_.directoryText; }

  // FileSystem
  bool DirectoryExists(const std::wstring& path) override {
    Add("DirectoryExists " + Utf8(path));
    return world_.directories.count(path) != 0;
  }
  bool FileExists(const std::wstring& path) override {
    Add("FileExists " + Utf8(path));
    return world_.files.count(path) != 0;
  }
  bool ForceDirectories(const std::wstring& path) override {
    Add("ForceDirectories " + Utf8(path));
    if (world_.forceDirectoriesWorks) world_.directories.insert(path);
    return world_.forceDirectoriesWorks;
  }
  std::unique_ptr<OutputFile> CreateOutputFile(const std::wstring& path) override;
  std::uint32_t RemoveFile(const std::wstring& path) override {
    Add("RemoveFile " + Utf8(path));
    if (world_.heldFiles.count(path) != 0) return kErrorSharingViolation;
    if (world_.readOnlyFiles.count(path) != 0) return kErrorAccessDenied;
    return world_.files.erase(path) != 0 ? 0 : kErrorFileNotFound;
  }
  void MakeWritable(const std::wstring& path) override {
    Add("MakeWritable " + Utf8(path));
    world_.readOnlyFiles.erase(path);
  }
  bool IsLink(const std::wstring& path) override { return world_.links.count(path) != 0; }
  FolderEntries ListFolder(const std::wstring& folder) override {
    Add("ListFolder " + Utf8(folder));
    if (world_.unreadableFolders.count(folder) != 0) throw Error(L"Cannot read the folder \"" + folder + L"\".");
    FolderEntries entries;
    const std::wstring prefix = folder + L"\\";
    const auto directChild = [&](const std::wstring& path) {
      return path.rfind(prefix, 0) == 0 && path.size() > prefix.size() &&
             path.find(L'\\', prefix.size()) == std::wstring::npos;
    };
    for (const std::wstring& path : world_.files) {
      if (directChild(path)) entries.files.push_back(path.substr(prefix.size()));
    }
    for (const std::wstring& path : world_.directories) {
      if (directChild(path)) entries.folders.push_back(path.substr(prefix.size()));
    }
    for (const auto& [path, target] : world_.links) {
      if (directChild(path)) entries.files.push_back(path.substr(prefix.size()));
    }
    return entries;
  }
  std::uint32_t MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) override {
    Add("Move " + Utf8(from) + " -> " + Utf8(to));
    if (world_.files.count(to) != 0 || world_.directories.count(to) != 0) return kErrorAlreadyExists;
    if (world_.files.erase(from) == 0) return kErrorFileNotFound;
    world_.files.insert(to);
    written[to] = written[from];
    written.erase(from);
    return 0;
  }
  // Follows the port's rule: a link (at the top or inside) goes as a link;
  // what it leads to lives under its own path, which is never touched.
  void RemoveFolderTree(const std::wstring& folder) override {
    Add("RemoveFolderTree " + Utf8(folder));
    if (world_.unremovableFolders.count(folder) != 0) throw Error(L"Cannot remove \"" + folder + L"\".");
    if (world_.links.erase(folder) != 0) return;
    const std::wstring prefix = folder + L"\\";
    for (auto* set : {&world_.files, &world_.directories}) {
      for (auto it = set->begin(); it != set->end();) {
        it = it->rfind(prefix, 0) == 0 || *it == folder ? set->erase(it) : std::next(it);
      }
    }
    for (auto it = world_.links.begin(); it != world_.links.end();) {
      it = it->first.rfind(prefix, 0) == 0 ? world_.links.erase(it) : std::next(it);
    }
  }
  void CopyReplacing(const std::wstring& from, const std::wstring& to) override {
    Add("CopyReplacing " + Utf8(from) + " -> " + Utf8(to));
    if (world_.fullDiskFiles.count(to) != 0) throw DiskFull(L"Disk full.", written[from].size());
    world_.files.insert(to);
    written[to] = written[from];
  }
  void MoveReplacing(const std::wstring& from, const std::wstring& to) override {
    Add("MoveReplacing " + Utf8(from) + " -> " + Utf8(to));
    if (world_.files.erase(from) == 0) throw Error(L"Cannot create file \"" + to + L"\".");
    world_.files.insert(to);
    written[to] = written[from];
    written.erase(from);
    ++stampTimes_[to];
  }
  std::unique_ptr<InputFile> OpenForReading(const std::wstring& path) override;
  std::optional<std::uint64_t> FreeSpace(const std::wstring&) override { return world_.freeSpace; }
  // A file or folder appears, as another program (the archiver) would make it.
  void Put(const std::wstring& path, const std::string& bytes = "") {
    world_.files.insert(path);
    written[path] = bytes;
  }
  void PutFolder(const std::wstring& path) { world_.directories.insert(path); }
  bool HasFolder(const std::wstring& path) const { return world_.directories.count(path) != 0; }
  bool HasFile(const std::wstring& path) const { return world_.files.count(path) != 0; }

  // Pauses: a clock that only the slices of a pumped wait move on.
  std::uint64_t NowMs() override { return now_; }
  void Sleep(unsigned ms) override {
    now_ += ms;
    Add("Sleep " + std::to_string(ms));
  }

  // Waits: the run's pauses (the clock moves on by them), and waits that are
  // ready at once.
  void Pause(unsigned ms) override {
    now_ += ms;
    Add("Sleep " + std::to_string(ms));
  }
  bool Until(const std::function<bool(unsigned)>& ready, unsigned, OnStop) override {
    while (!ready(50)) {
    }
    return true;
  }

  // StatusDisplay
  void SetModuleText(const std::wstring& t) override { Add("module: " + Utf8(t)); }
  void SetModuleVisible(bool v) override { Add(v ? "module shown" : "module hidden"); }
  void SetStatusText(const std::wstring& t) override {
    status_ = t;
    Add("status: " + Utf8(t));
  }
  std::wstring StatusText() override { return status_; }
  void SetStatusVisible(bool v) override { Add(v ? "status shown" : "status hidden"); }
  void SetProgressMax(std::int32_t m) override {
    progressMax_ = m;
    Add("progress max " + std::to_string(m));
  }
  std::int32_t ProgressMax() override { return progressMax_; }
  void SetProgressPosition(std::int32_t p) override { Add("progress " + std::to_string(p)); }
  void SetCaption(const std::wstring& c) override { Add("caption: " + Utf8(c)); }

  // WindowOps
  void Repaint() override { Add("Repaint"); }
  void ProcessMessages() override {
    Add("ProcessMessages");
    if (closeAtNextPump_ && control != nullptr) {
      closeAtNextPump_ = false;
      control->RequestStop();
    }
  }
  void ShowMessage(const std::wstring& text) override { Add("Message: " + Utf8(text)); }
  void RequestClose() override { Add("RequestClose"); }

  // Bitness
  bool IsWindows64() override {
    Add("IsWindows64");
    return world_.windows64;
  }
  bool IsWindows32Only() override {
    Add("IsWindows32Only");
    return world_.windows32Only;
  }

  // ReachabilityProbe
  bool CheckURL(const std::wstring& url, int varnisca) override {
    Add("CheckURL '" + Utf8(url) + "' " + std::to_string(varnisca));
    if (nextProbe_ >= world_.probeAnswers.size()) {
      Add("UNEXPECTED PROBE");
      return false;
    }
    return world_.probeAnswers[nextProbe_++];
  }

  // Downloader: like the real one, the end of a transfer is shown also when
  // it fails, so a stopped run must not let that write through. It writes
  // the URL path as the file's body, tells the recorder as the real one
  // does, and keeps a complete file the server has not changed.
  Fetched Fetch(const std::wstring& urlPath, OutputFile& file, const KnownFile* known,
                TransferRecorder* recorder) override;

  // RecordFiles: not logged, as bookkeeping beside the run's own steps.
  std::optional<FileStamp> Stamp(const std::wstring& path) override {
    if (world_.files.count(path) == 0) return std::nullopt;
    return FileStamp{written[path].size(), stampTimes_[path]};
  }
  std::optional<std::string> ReadWhole(const std::wstring& path, std::size_t limit) override {
    if (world_.files.count(path) == 0 || written[path].size() > limit) return std::nullopt;
    return written[path];
  }
  void WriteWhole(const std::wstring& path, const std::string& bytes) override {
    world_.files.insert(path);
    written[path] = bytes;
    ++stampTimes_[path];
  }
  std::unique_ptr<OutputFile> OpenKeeping(const std::wstring& path, std::uint64_t keep) override;
  // Another program changes a file: its write time moves on.
  void Touch(const std::wstring& path) { ++stampTimes_[path]; }

  // Extraction
  bool DescompactarWINRAR(const std::wstring& origem, const std::wstring& destino,
                          const std::wstring& tipo, bool win64) override {
    Add("Descompactar " + Utf8(origem) + " | " + Utf8(destino) + " | " + Utf8(tipo) + " | " +
        (win64 ? "64" : "32"));
    failedStart_ = origem == world_.failingExtraction ? world_.archiverStartFailure : L"";
    return origem != world_.failingExtraction;
  }
  void DeletaArquivosRAR() override { Add("DeletaArquivosRAR"); }
  std::wstring ArchiverStartFailure() const override { return failedStart_; }

  // Setups
  bool InstalarAplicativo(const std::wstring& nome, const std::wstring& path) override {
    Add("InstalarAplicativo " + Utf8(nome) + " " + Utf8(path));
    auto it = world_.setupResults.find(nome);
    const bool installed = it == world_.setupResults.end() || it->second;
    const auto why = world_.setupStartFailures.find(nome);
    failedSetupStart_ = !installed && why != world_.setupStartFailures.end() ? why->second : L"";
    return installed;
  }
  std::wstring SetupStartFailure() const override { return failedSetupStart_; }

  // Shortcuts
  void CriarAtalhos(const std::wstring& sistema) override { Add("CriarAtalhos " + Utf8(sistema)); }

  // CustomerConfig
  void GravarConfiguracao(const std::wstring& dir) override {
    Add("GravarConfiguracao " + Utf8(dir));
    if (world_.configWriteFails) throw Error(L"Unable to write to " + dir + L"Quilmarde.ini");
    if (world_.configDiskFull) throw DiskFull(L"Unable to write to " + dir + L"Quilmarde.ini", 0);
  }

  // InstallOverview
  void SetStep(InstallStep step, const std::wstring& detail) override {
    static const char* const kNames[] = {"download", "extract", "setups", "finish", "done"};
    overview.push_back(std::string(kNames[static_cast<int>(step)]) + (detail.empty() ? "" : " " + Utf8(detail)));
  }
  void SetStopped() override { overview.push_back("stopped"); }

  void Add(std::string entry) { log.push_back(std::move(entry)); }

 private:
  World world_;
  std::uint64_t now_ = 0;
  std::wstring status_;
  std::int32_t progressMax_ = 0;
  std::size_t nextProbe_ = 0;
  bool closeAtNextPump_ = false;
  std::map<std::wstring, std::uint64_t> stampTimes_;
  std::wstring failedStart_, failedSetupStart_;
};

class FakeOutputFile final : public OutputFile {
 public:
  FakeOutputFile(Log& log, std::string name, std::string& bytes, bool diskFull = false)
      : log_(log), name_(std::move(name)), bytes_(bytes), diskFull_(diskFull) {}
  ~FakeOutputFile() override { Close(); }
  void Write(std::span<const char> bytes) override {
    if (diskFull_) throw DiskFull(L"Disk full.", 0);
    bytes_.append(bytes.data(), bytes.size());
  }
  void SetLength(std::uint64_t) override {}
  void Restart() override { bytes_.clear(); }
  void Flush() override {}
  void EnsureRoom(std::uint64_t) override {}
  void Close() override {
    if (!closed_) log_.push_back("Close " + name_);
    closed_ = true;
  }

 private:
  Log& log_;
  std::string name_;
  std::string& bytes_;
  bool diskFull_;
  bool closed_ = false;
};

class FakeInputFile final : public InputFile {
 public:
  explicit FakeInputFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::span<char> buffer) override {
    const std::size_t take = std::min(buffer.size(), bytes_.size() - at_);
    std::copy(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
              bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + take), buffer.begin());
    at_ += take;
    return take;
  }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

inline std::unique_ptr<InputFile> FakeRunPorts::OpenForReading(const std::wstring& path) {
  if (world_.files.count(path) == 0) return nullptr;
  return std::make_unique<FakeInputFile>(written[path]);
}

inline std::unique_ptr<OutputFile> FakeRunPorts::CreateOutputFile(const std::wstring& path) {
  Add("Create " + Utf8(path));
  world_.files.insert(path);
  written[path].clear();
  return std::make_unique<FakeOutputFile>(log, Utf8(path), written[path], world_.fullDiskFiles.count(path) != 0);
}

inline std::unique_ptr<OutputFile> FakeRunPorts::OpenKeeping(const std::wstring& path, std::uint64_t keep) {
  Add("Open " + Utf8(path) + " keeping " + std::to_string(keep));
  world_.files.insert(path);
  written[path].resize(keep);
  return std::make_unique<FakeOutputFile>(log, Utf8(path), written[path]);
}

inline Fetched FakeRunPorts::Fetch(const std::wstring& urlPath, OutputFile& file, const KnownFile* known,
                                   TransferRecorder* recorder) {
  std::string asked;
  if (known != nullptr) {
    asked = known->complete ? " (If-None-Match: " + known->etag + ")"
                            : " (Range: bytes=" + std::to_string(known->have) + "-)";
  }
  Add("BaixarArquivo " + Utf8(urlPath) + asked);
  if (known != nullptr && known->complete && world_.changedOnServer.count(urlPath) == 0) return Fetched::Kept;
  const auto served = world_.served.find(urlPath);
  if (!world_.serverEtag.empty() || served != world_.served.end()) {
    const std::string body = served != world_.served.end() ? served->second : Utf8(urlPath);
    const bool resumed = known != nullptr && !known->complete && world_.changedOnServer.count(urlPath) == 0;
    if (!resumed) file.Restart();
    if (recorder != nullptr && !resumed) recorder->Began(world_.serverEtag, "", body.size());
    const std::string rest = body.substr(resumed ? std::min<std::size_t>(known->have, body.size()) : 0);
    file.Write(rest);
    if (recorder != nullptr) recorder->Written(body.size());
  }
  try {
    if (urlPath == world_.stoppedDownload) {
      closeAtNextPump_ = true;
      pump->ProcessMessages();
    }
    if (urlPath == world_.failingDownload) throw Error(L"HTTP/1.1 500 Internal Server Error");
    if (urlPath == world_.fullDiskDownload) throw DiskFull(L"Disk full.", world_.fullDiskMissing);
  } catch (...) {
    guardedDisplay->SetStatusText(L"Download Finalizado ...");
    throw;
  }
  if (recorder != nullptr) recorder->Whole();
  return Fetched::Body;
}

}  // namespace pravonell::testing
