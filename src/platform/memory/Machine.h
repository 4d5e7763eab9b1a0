// The in-memory machine behind the platform seam, for tests: its whole state is here for a
// test to set up and inspect, and any of its calls can be made to fail.
#pragma once

#include "../Clock.h"
#include "../Ui.h"
#include "FileTree.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace platform::memory {

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
    bool lengthSent = true;            // false: no Content-Length (chunked, or ended by closing)
    std::string contentEncoding;       // the Content-Encoding header, if any
    bool untrustedCertificate = false; // https: the server's certificate proves nothing
    // The body arrives chunkBytes at a time, one chunk every chunkEveryMs of the machine's
    // clock; 0: at once.
    std::size_t chunkBytes = 0;
    std::uint64_t chunkEveryMs = 0;
};

// The user's regional settings that dates and times are written with.
struct RegionalFormats {
    std::string shortDate = "d/MM/yyyy"; // picture: d dd ddd dddd M MM MMM MMMM y yy yyyy 'text'
    std::string timeFormat = "H:mm:ss";  // picture: h hh H HH m mm s ss t tt 'text'
    std::string amDesignator = "AM";
    std::string pmDesignator = "PM";
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

struct PlatformCall {
    std::string op;
    std::string detail;
};

// Every field starts as a fresh machine has it, so that a reset is one assignment.
class Machine {
public:
    // A fresh machine: drive C: with the program's folder only, empty environment, no
    // processes, no answers.
    Machine();
    void Reset() { *this = Machine(); }

    // --- files and folders
    FileTree tree;
    void AddDrive(char letter, bool ready = true) { tree.AddDrive(letter, ready); }
    void RemoveDrive(char letter) { tree.RemoveDrive(letter); }
    // A drive that holds at most this many bytes of file content.
    void LimitDrive(char letter, std::uint64_t capacity);
    // Makes every missing level; the last one gets the given attributes.
    void MakeFolders(const std::string& path, std::uint32_t attributes = 0x10);
    void WriteFile(const std::string& path, const std::string& content,
                   std::uint32_t attributes = 0x20);
    bool IsFile(const std::string& path);
    bool IsFolder(const std::string& path);
    std::optional<std::string> FileContent(const std::string& path);
    void SetAttributes(const std::string& path, std::uint32_t attributes);
    // Another program opens the file sharing nothing, until released.
    void HoldFile(const std::string& path, bool held = true);
    // Every file below a folder, as paths relative to it, sorted.
    std::vector<std::string> FilesBelow(const std::string& folder);
    int OpenFileHandles() const { return openFileHandles; }
    // A size the file reports when sized, whatever it holds (upper-cased path).
    std::map<std::string, std::int64_t> reportedSizes;

    // --- environment and system
    void SetEnv(const std::string& name, const std::string& value);
    void UnsetEnv(const std::string& name);
    std::map<std::string, std::pair<std::string, std::string>> env; // upper name -> name, value
    std::string ownExecutablePath = "C:\\Quorvel\\Quorvel.exe";
    std::uint32_t osMajorVersion = 10;
    std::uint32_t errorMode = 0;
    // How often Windows would have raised its "no disk" dialog: a drive that is not ready
    // was touched without critical errors suppressed.
    int noDiskDialogs = 0;

    // --- processes
    std::vector<Process> processes;
    std::vector<Launch> launches;
    int openProcessHandles = 0;

    // --- HTTP: answers by URL without its query; every request is kept with its query
    std::map<std::string, HttpResponse> http;
    std::vector<std::string> requests;
    void Serve(const std::string& url, const std::string& body) {
        HttpResponse response;
        response.body = body;
        http[url] = response;
    }

    // --- clock and regional settings
    std::int64_t unixTime = 1796000000;
    LocalDateTime localTime{2026, 12, 7, 9, 41, 1};
    RegionalFormats regional;
    std::uint64_t tickMs = 0;
    std::uint64_t pausedMs = 0;

    // --- the operator: message boxes and actions at pump points
    std::vector<MessageBoxRecord> boxes;
    // Called for each box while it is open; gives the button pressed. May click controls.
    std::function<int(const MessageBoxRecord&)> onMessageBox;
    // Actions run at the n-th pump (counting ProcessMessages calls from 1).
    std::multimap<int, std::function<void()>> pumpActions;
    int pumps = 0;
    bool terminated = false;
    bool minimised = false;
    void AtPump(int n, std::function<void()> action) { pumpActions.emplace(n, std::move(action)); }

    // --- fault injection: every call is recorded; a chosen one fails
    std::vector<PlatformCall> calls;
    // The call with this index (from 0, over all ops) fails; -1 for none.
    long failCallIndex = -1;
    // Every call of these ops fails.
    std::set<std::string> failOps;
    // The n-th call (from 1) of an op fails.
    std::map<std::string, int> failNth;
    // Decides for each call whether it fails, by its op and detail.
    std::function<bool(const std::string& op, const std::string& detail)> failWhen;
    // Called for each move before it runs; a test may release or hold files here.
    std::function<void(const std::string& from, const std::string& to)> onMove;
    // The process dies at the call with this index (from 0): that call and everything after
    // it does nothing, no message box is seen, and only what reached the disk before stays.
    long killAtCall = -1;
    bool dead = false;
    // A fresh process on the same machine after the last one ended, however it ended: the
    // disk, environment, server and clock stay; what the process held or saw goes.
    void Restart();
    // Records the call; true when it must fail.
    bool Enter(const char* op, const std::string& detail);
    int CallCount(const std::string& op) const;

    // --- registered UI objects (the toolkit's own bookkeeping)
    std::vector<void*> timers;
    int openFileHandles = 0;
    // Named locks and how many holders each has.
    std::map<std::string, int> namedLocks;

private:
    std::map<std::string, int> opCounts_;
};

Machine& TheMachine();

// As the operator clicks a button or check box: nothing when it is disabled; a check box
// toggles before its handler runs.
void Click(Control& control);

// Fires every tick that falls due within the given time.
void AdvanceClock(unsigned milliseconds);

} // namespace platform::memory
