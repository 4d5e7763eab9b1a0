// The census of the updater's own platform calls, on the in-memory machine, which records
// every call it is asked (operation and path): a start-up fetch of the bench release (the
// launcher and 299 files in 102 folders three levels deep, as bench/lib.sh makes it) into an empty
// desktop folder, and a no-change normal-mode run over an installation that holds every
// listed file, and a normal-mode run in which every listed file changed (each previous
// version noted in the run record, backed up and replaced). Prints, for each run, every kind of
// call by what it was made on, in total and per listed file; a call on the temporary file or a
// listed file is told apart by whether the row's download has already happened. Built for the
// default and for the protected configuration; a run that does not end as it must prints no census
// and exits 1.
//   quorvel_census [fetch|nochange|changed]...   (every run when none is named)
#include "app/Main.h"
#include "app/Messages.h"
#include "files/ProgramFiles.h"
#include "platform/Crypto.h"
#include "platform/memory/Machine.h"
#include "release/Names.h"
#include "release/ReleaseFormat.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::memory::Op;
using platform::memory::OpName;

using platform::memory::TheMachine;

const std::string kHome = "\\Users\\op";
const std::string kDesktopTarget = "C:\\Users\\op\\Desktop\\Tarnell Temp Files\\";
const std::string kInstall = "C:\\Program Files\\Tarnell\\Pelmora 4.1.2\\";
const std::string kOwnTemp = std::string("C:\\Quorvel\\") + release::kTempFileName;

struct File {
    std::string path; // list path
    std::string body;
};

// The bench release's paths, with small bodies: what is counted is calls, not bytes.
std::vector<File> BenchRelease() {
    std::vector<File> files{{kLauncherName, "launcher"}};
    for (int i = 0; i < 299; ++i) {
        const std::string path = "modules/m" + std::to_string(i % 6) + "/part" +
                                 std::to_string(i % 17) + "/f" + std::to_string(i) + ".bin";
        files.push_back({path, "body of " + path});
    }
    return files;
}

std::string Local(const std::string& folder, std::string listPath) {
    for (char& c : listPath) {
        c = c == '/' ? '\\' : c;
    }
    return folder + listPath;
}

std::string TestKeyText() {
    std::ifstream in(QUORVEL_TEST_KEY_FILE, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The release on the server: its files, its list (stamps with content hashes, which both
// builds take) and the list's signature by the test key.
bool Serve(const std::string& base, const std::vector<File>& files, std::string& list) {
    std::vector<release::ListEntry> entries;
    for (const File& f : files) {
        entries.push_back({f.path, release::MakeStamp("2026-12-09", *platform::Sha256Of(f.body))});
    }
    list = release::WriteList(entries);
    auto key = release::ParseKeyFile(TestKeyText());
    auto signature = key ? release::SignList(list, 1, *key) : std::nullopt;
    if (!signature) {
        std::fprintf(stderr, "quorvel_census: cannot sign with %s\n", QUORVEL_TEST_KEY_FILE);
        return false;
    }
    auto& m = TheMachine();
    m.Serve(base + release::kListName, list);
    m.Serve(base + release::kSignatureName, release::WriteSignatureFile(*signature));
    for (const File& f : files) {
        m.Serve(base + f.path, f.body);
    }
    return true;
}

void FreshMachine() {
    auto& m = TheMachine();
    m.Reset();
    m.SetEnv("HOMEDRIVE", "C:");
    m.SetEnv("HOMEPATH", kHome);
    m.SetEnv("PUBLIC", "C:\\Users\\Public");
    m.SetEnv("ProgramFiles", "C:\\Program Files");
    m.MakeFolders("C:\\Users\\op\\Desktop\\");
}

// --- what a call was made on

struct Census {
    std::string target;           // the run's target folder
    std::set<std::string> listed; // the target paths of the listed files
    std::set<std::string> names;  // their file names
    bool downloadedSinceWalk = false;
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string FileName(const std::string& path) {
    return path.substr(path.find_last_of('\\') + 1);
}

std::string WithoutQuery(const std::string& url) {
    return url.substr(0, url.find('?'));
}

std::string Phase(const Census& c) {
    return c.downloadedSinceWalk ? " (from the row's download on)" : " (before the row's download)";
}

// What a path names, for the census; walk tells that it is a folder the walk asks about.
std::string Kind(Census& c, const std::string& path, bool& walk) {
    walk = false;
    if (path == kOwnTemp) {
        return "temporary file, own folder" + Phase(c);
    }
    if (EndsWith(path, std::string("\\") + release::kTempFileName)) {
        return "temporary file, staged in the file's folder";
    }
    if (EndsWith(path, release::kRunRecordName)) {
        return "run record";
    }
    if (EndsWith(path, release::kLocalListName)) {
        return path.rfind("C:\\Quorvel\\", 0) == 0 ? "list, as downloaded" : "local list";
    }
    if (EndsWith(path, release::kKeptSignatureName) ||
        EndsWith(path, release::kFetchedSignatureName)) {
        return "list signature";
    }
    if (EndsWith(path, kMarkerName)) {
        return "marker file";
    }
    if (c.listed.count(path) != 0) {
        return "listed file" + Phase(c);
    }
    if (path.find(std::string("\\") + release::kBackupFolderName + "\\") != std::string::npos &&
        c.names.count(FileName(path)) != 0) {
        return "backup of a listed file";
    }
    if (EndsWith(path, "\\*")) {
        return "folder listing";
    }
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    walk = true;
    if (c.target.rfind(folder + "\\", 0) == 0) {
        return "folder walk: a level of the target folder itself";
    }
    if (folder.find(std::string("\\") + release::kBackupFolderName) != std::string::npos) {
        return "folder walk: a level of the row's backup folder";
    }
    if (folder.rfind(c.target, 0) == 0) {
        return "folder walk: a level of the list path below the target";
    }
    walk = false;
    return "other: " + path;
}

std::string What(Census& c, const platform::memory::PlatformCall& call) {
    bool walk = false;
    if (call.op == Op::StartTransfer) {
        const std::string path = WithoutQuery(call.detail);
        if (EndsWith(path, release::kSignatureName)) {
            return "list signature";
        }
        if (EndsWith(path, std::string("/") + release::kListName)) {
            return "list";
        }
        c.downloadedSinceWalk = true;
        return "listed file";
    }
    if (call.op == Op::MoveFile || call.op == Op::MoveFileEx) {
        const std::size_t arrow = call.detail.find(" -> ");
        bool ignored = false;
        const std::string from = Kind(c, call.detail.substr(0, arrow), ignored);
        return from + " -> " + Kind(c, call.detail.substr(arrow + 4), ignored);
    }
    if (call.op == Op::GetEnvironmentVariable || call.op == Op::CreateWindow ||
        call.op == Op::CreateMutex || call.op == Op::Sleep) {
        return call.detail;
    }
    if (call.detail.empty()) {
        return "-";
    }
    std::string kind = Kind(c, call.detail, walk);
    if (walk) {
        c.downloadedSinceWalk = false;
    }
    return kind;
}

bool FileSystemCall(Op op) {
    static const std::set<Op> ops{Op::FileAttributes, Op::ListFolder, Op::FileSize,
                                  Op::CreateFolder,   Op::MoveFile,   Op::MoveFileEx,
                                  Op::DeleteFile,     Op::AppendFile, Op::OpenFile,
                                  Op::SeekFile,       Op::ReadFile};
    return ops.count(op) != 0;
}

void Print(const char* run, Census& c, int files) {
    std::map<std::pair<std::string, std::string>, long> counts;
    long total = 0;
    long fileSystem = 0;
    for (const auto& call : TheMachine().process.calls) {
        ++counts[{std::string(OpName(call.op)), What(c, call)}];
        ++total;
        fileSystem += FileSystemCall(call.op) ? 1 : 0;
    }
    std::printf("== %s: %ld platform calls, %ld of them on files and folders (%.2f a file)\n", run,
                total, fileSystem, static_cast<double>(fileSystem) / files);
    std::printf("%-22s %-72s %7s %9s\n", "call", "made on", "calls", "per file");
    for (const auto& [key, count] : counts) {
        std::printf("%-22s %-72s %7ld %9.2f\n", key.first.c_str(), key.second.c_str(), count,
                    static_cast<double>(count) / files);
    }
}

// --- the two runs

// One run's machine, release and window; the window goes before the next run's machine.
struct BenchRun {
    std::vector<File> files;
    std::unique_ptr<TFORM_MAIN> form;
    std::string list;

    ~BenchRun() {
        form.reset();
        FORM_MAIN = nullptr;
    }
};

// A fresh machine whose server holds the bench release, and a new window on it.
bool Begin(BenchRun& run) {
    FreshMachine();
    run.files = BenchRelease();
    run.form = std::make_unique<TFORM_MAIN>();
    return Serve(run.form->URLPath.Text(), run.files, run.list);
}

Census CensusOf(const std::string& target, const std::vector<File>& files) {
    Census c;
    c.target = target;
    for (const File& f : files) {
        c.listed.insert(Local(target, f.path));
        c.names.insert(FileName(Local(target, f.path)));
    }
    return c;
}

int StartUpFetch() {
    BenchRun run;
    if (!Begin(run)) {
        return 1;
    }
    const std::vector<File>& files = run.files;
    TheMachine().process.calls.clear();
    platform::memory::AdvanceClock(200);
    auto& m = TheMachine();
    const bool whole = m.FilesBelow(kDesktopTarget).size() >= files.size();
    if (!m.process.boxes.empty() || m.process.launches.size() != 1 || !whole) {
        std::fprintf(stderr,
                     "quorvel_census: the start-up fetch did not end as it must (%zu "
                     "messages, %zu launches, %zu files in the target)\n",
                     m.process.boxes.size(), m.process.launches.size(),
                     m.FilesBelow(kDesktopTarget).size());
        return 1;
    }
    Census c = CensusOf(kDesktopTarget, files);
    Print("start-up fetch", c, static_cast<int>(files.size()));
    return 0;
}

// A normal-mode run over an installation of the release; with changed, every installed file
// is an older version and the local list's stamps are older too.
int NormalRun(bool changed) {
    BenchRun run;
    if (!Begin(run)) {
        return 1;
    }
    const std::vector<File>& files = run.files;
    auto& form = run.form;
    auto& m = TheMachine();
    std::vector<release::ListEntry> older;
    for (const File& f : files) {
        m.WriteFile(Local(kInstall, f.path), changed ? "older " + f.body : f.body);
        older.push_back({f.path, "2026-01-01"});
    }
    m.WriteFile(kInstall + release::kLocalListName, changed ? release::WriteList(older) : run.list);
    form->AutoTimer.SetEnabled(false);
    platform::memory::Click(form->ManualUpdate);
    form->PelmoraPath.SetText(kInstall);
    m.process.calls.clear();
    m.world.requests.clear();
    form->UpdateSoftwareButtonClick();
    const std::string expected = changed ? std::to_string(files.size()) + msg::kFilesUpdated
                                         : std::string(msg::kNoUpdateRequired);
    const std::size_t listRequests = m.world.requests.size() - (changed ? files.size() : 0);
    const bool replaced =
        !changed || m.FileContent(Local(kInstall, files.back().path)) == files.back().body;
    if (m.process.boxes.size() != 1 || m.process.boxes[0].text != expected || listRequests > 2 ||
        !replaced) {
        std::fprintf(stderr,
                     "quorvel_census: the %s run did not end as it must (%zu "
                     "messages, the first: %s; %zu requests)\n",
                     changed ? "changed" : "no-change", m.process.boxes.size(),
                     m.process.boxes.empty() ? "none" : m.process.boxes[0].text.c_str(),
                     m.world.requests.size());
        return 1;
    }
    Census c = CensusOf(kInstall, files);
    Print(changed ? "normal-mode run, every file changed" : "no-change run", c,
          static_cast<int>(files.size()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> runs(argv + 1, argv + argc);
    if (runs.empty()) {
        runs = {"fetch", "nochange", "changed"};
    }
    for (const std::string& run : runs) {
        int status = 2;
        if (run == "fetch") {
            status = StartUpFetch();
        } else if (run == "nochange" || run == "changed") {
            status = NormalRun(run == "changed");
        } else {
            std::fprintf(stderr, "usage: quorvel_census [fetch|nochange|changed]...\n");
        }
        if (status != 0) {
            return status;
        }
    }
    return 0;
}
