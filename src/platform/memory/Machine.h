// The in-memory machine behind the platform seam, for tests: its whole state is here for a
// test to set up and inspect, and any of its calls can be made to fail.
#pragma once

#include "../Clock.h"
#include "../Ui.h"
#include "FaultPoints.h"
#include "FileTree.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace platform::memory {

// A process of another program.
struct Process {
    std::uint32_t id = 0;
    std::string moduleName;
    bool running = true;
    bool openable = true;
};

struct HttpResponse {
    int status = 200;
    std::string body;
    bool refused = false;                     // the connection is refused
    std::size_t cutAfter = std::string::npos; // the body stops after this many bytes
    std::string redirectTo;                   // with a 3xx status: the URL of the next request
    bool lengthSent = true;      // false: no Content-Length (chunked, or ended by closing)
    std::string contentEncoding; // the Content-Encoding header, if any
    // The Content-Length sent when it is not the body's own: a body that runs past it, or
    // one that claims more than it brings.
    std::optional<std::uint64_t> announcedLength;
    std::uint64_t headerBytes = 200; // the status line and headers
    std::uint64_t headerMs = 0;      // how long they take to arrive, on the machine's clock
    bool transferEncoded = false;    // a Transfer-Encoding header besides the length
    std::string etag;                // validators; a request whose If-Range names one of
    std::string lastModified;        // them is answered 206 from its Range, others 200
    bool ranges = true;              // false: Range is ignored, every answer is 200
    // A Content-Range sent with a 206 other than the one asked for.
    std::optional<std::string> contentRange;
    std::uint64_t bytesSent = 0; // body bytes sent for it so far
};

// The user's regional settings that dates and times are written with.
struct RegionalFormats {
    std::string shortDate = "d/MM/yyyy";   // picture: d dd ddd dddd M MM MMM MMMM y yy yyyy 'text'
    std::string timeFormat = "h:mm:ss tt"; // picture: h hh H HH m mm s ss t tt 'text'
    std::string amDesignator = "AM";
    std::string pmDesignator = "PM";
};

// What outlasts a process of the updater: the disks, the environment, the other programs,
// the update server (and what it was asked), the clock and the regional settings.
struct World {
    World(); // drive C: with the program's folder only

    FileTree tree;
    // A size the file reports when sized, whatever it holds (upper-cased path).
    std::map<std::string, std::int64_t> reportedSizes;
    std::map<std::string, std::pair<std::string, std::string>> env; // upper name -> name, value
    std::string ownExecutablePath = "C:\\Quorvel\\Quorvel.exe";
    std::uint32_t osMajorVersion = 10;
    std::vector<Process> processes;
    // HTTP: answers by URL without its query; every request is kept with its query.
    std::map<std::string, HttpResponse> http;
    std::vector<std::string> requests;
    std::int64_t unixTime = 1796000000;
    LocalDateTime localTime{2026, 12, 7, 9, 41, 1};
    RegionalFormats regional;
    std::uint64_t tickMs = 0;
    unsigned codePage = 1252; // the ANSI code page names are read in
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    unsigned buttons = 0;
    bool error = false; // shown by the exception display
};

struct Launch {
    std::string commandLine;
    std::string program; // the file that the command line started
};

// A transfer under way, delivered in a message pump or when it is waited for.
struct PendingTransfer {
    std::string url;
    std::function<void()> deliver; // does nothing once the transfer has ended
    std::function<bool()> ended;
};

struct PlatformCall {
    Op op{};
    std::string detail;
};

// What one process of the updater holds and has seen, the operator's script for it, and the
// faults it meets. A restart begins all of it afresh.
struct ProcessState {
    // --- what it holds
    std::set<const Node*> openFiles;
    std::set<std::string> namedLocks;
    std::uint32_t errorMode = 0;
    std::vector<void*> timers;

    // --- what it did
    std::vector<Launch> launches;
    std::uint64_t pausedMs = 0;
    // How often Windows would have raised its "no disk" dialog: a drive that is not ready
    // was touched without critical errors suppressed.
    int noDiskDialogs = 0;

    // --- the operator: message boxes and actions at pump points
    std::vector<MessageBoxRecord> boxes;
    // Called for each box while it is open; gives the button pressed. May click controls.
    std::function<int(const MessageBoxRecord&)> onMessageBox;
    // Actions run at the n-th pump (counting ProcessMessages calls from 1).
    std::multimap<int, std::function<void()>> pumpActions;
    int pumps = 0;
    bool terminated = false;
    bool minimised = false;

    // --- transfers under way, in the order they started
    std::vector<PendingTransfer> transfers;
    // Chooses at each pump which transfers under way arrive, by their URLs in the order they
    // started: gives their indexes in the order they arrive. Unset: all, in that order.
    std::function<std::vector<std::size_t>(const std::vector<std::string>& urls)> arrivals;

    // --- fault injection: every call is recorded; chosen ones fail
    std::vector<PlatformCall> calls;
    std::array<int, kOpCount> callCounts{};
    // The call with this index (from 0, over all ops) fails; -1 for none.
    long failCallIndex = -1;
    // Every call of these ops fails.
    std::set<Op> failOps;
    // The n-th call (from 1) of an op fails.
    std::map<Op, int> failNth;
    // Decides for each call whether it fails, by its op and detail.
    std::function<bool(Op op, const std::string& detail)> failWhen;
    // Called for each move before it runs; a test may release or hold files here.
    std::function<void(const std::string& from, const std::string& to)> onMove;
    // The process dies at the call with this index (from 0): that call and everything after
    // it does nothing, no message box is seen, and only what reached the disk before stays.
    long killAtCall = -1;
    bool dead = false;
};

// The world and the running process side by side, as m.world.tree or m.process.boxes: a
// restart replaces the process part whole, so no field of it can outlive its process.
class Machine {
public:
    World world;
    ProcessState process;

    // A fresh machine: drive C: with the program's folder only, empty environment, no
    // processes, no answers.
    void Reset() { *this = Machine(); }
    // A fresh process on the same machine after the last one ended, however it ended.
    void Restart() { process = ProcessState(); }

    // --- files and folders
    void AddDrive(char letter, bool ready = true) { world.tree.AddDrive(letter, ready); }
    void RemoveDrive(char letter) { world.tree.RemoveDrive(letter); }
    // A drive that holds at most this many bytes of file content.
    void LimitDrive(char letter, std::uint64_t capacity);
    void MakeFolders(const std::string& path, std::uint32_t attributes = 0x10) {
        world.tree.MakeFolders(path, attributes);
    }
    void WriteFile(const std::string& path, const std::string& content,
                   std::uint32_t attributes = 0x20) {
        world.tree.WriteFile(path, content, attributes);
    }
    bool IsFile(const std::string& path);
    bool IsFolder(const std::string& path);
    std::optional<std::string> FileContent(const std::string& path);
    void SetAttributes(const std::string& path, std::uint32_t attributes);
    // The 8.3 alias Windows gives the file or folder's long name.
    void SetShortName(const std::string& path, const std::string& shortName);
    // Another program opens the file sharing nothing, until released.
    void HoldFile(const std::string& path, bool held = true);
    // Every file below a folder, as paths relative to it, sorted.
    std::vector<std::string> FilesBelow(const std::string& folder);
    int OpenFileHandles() const { return static_cast<int>(process.openFiles.size()); }
    // Opened by this process or held by another.
    bool InUse(const Node& node) const {
        return node.heldByOther || process.openFiles.count(&node) != 0;
    }
    // A file that may be written or deleted: no folder, not in use, not read-only.
    bool Writable(const Node& node) const;

    // --- environment, server, operator
    void SetEnv(const std::string& name, const std::string& value);
    void UnsetEnv(const std::string& name);
    void Serve(const std::string& url, const std::string& body);
    void AtPump(int n, std::function<void()> action) {
        process.pumpActions.emplace(n, std::move(action));
    }

    // --- fault points
    // Records the call; true when it must fail.
    bool Enter(Op op, const std::string& detail = std::string());
    // Calls of the op since the process began.
    int CallCount(Op op) const { return process.callCounts[static_cast<std::size_t>(op)]; }
};

Machine& TheMachine();

// As the operator clicks a button or check box: nothing when it is disabled; a check box
// toggles before its handler runs.
void Click(Control& control);

// Delivers the transfers under way that the test lets arrive (ProcessMessages does it).
void DeliverTransfers();

// Fires every tick that falls due within the given time.
void AdvanceClock(unsigned milliseconds);

} // namespace platform::memory
