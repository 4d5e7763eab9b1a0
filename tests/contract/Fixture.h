// What a contract test needs to set up on the machine under test, done the way each
// platform does it: the in-memory machine directly, Windows through its own API.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace fixture {

// A fresh, empty scratch folder on a local drive, ending in a backslash.
std::string ScratchFolder();
void MakeFolder(const std::string& path, std::uint32_t attributes = 0x10);
void MakeFile(const std::string& path, const std::string& content, std::uint32_t attributes = 0x20);
std::optional<std::string> Content(const std::string& path);
// A drive letter with no drive behind it.
char MissingDrive();
// The short (8.3) name of an existing file's long name, as the machine gives it.
std::string ShortName(const std::string& path);
// False under Wine, which keeps only the hidden and system attributes of folders.
bool AllFolderAttributesKept();
void SetEnv(const std::string& name, const std::string& value);
// The user's regional settings for short dates and for times (pictures as Windows keeps them).
void SetRegionalFormats(const std::string& shortDate, const std::string& timeFormat,
                        const std::string& am, const std::string& pm);
void UnsetEnv(const std::string& name);

// Another program holding a file open and sharing nothing with anyone, until destroyed.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

private:
    std::string path_;
    void* handle_ = nullptr;
};

// The update server's URL of a release file, and whether the server is there. It serves
// ok.bin ("release body\r\n"), big.bin (1 MiB), "a b/c.txt"; error.bin answers 500,
// short.bin is cut after 5 bytes, drop.bin loses its connection, moved.bin redirects to
// ok.bin and loop.bin to itself; hopN.bin redirects to hopN+1.bin up to hop10.bin, which
// redirects to ok.bin. Bodies of 10,000 bytes: chunked.bin is chunked, chunked-cut.bin cut
// inside a chunk, chunked-nolast.bin lacks its last chunk, nolength.bin has no length and
// ends as its connection closes, nolength-cut.bin closes early. gzip.bin and deflate.bin hold
// "release body\r\n" so encoded and say so. huge.bin announces a petabyte and sends what it
// is asked for as fast as it can; headers.bin sends header lines without end; framed.bin
// ("abcd") is announced by its length and chunked as well. ranged.bin holds big.bin's bytes
// and answers a Range with a part one byte late; slow.bin holds them too and answers after
// 5 s. Every file has a strong ETag. Every other name is not found.
bool ServerAvailable();
std::string ServerUrl(const std::string& name);
constexpr int kRedirectChain = 11; // hop0.bin to ok.bin
std::string BigBody();
// A URL whose connection is refused.
std::string RefusedUrl();

// A program of the test's own, started and running until End() or destruction.
class RunningProgram {
public:
    RunningProgram();
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    std::uint32_t Id() const { return id_; }
    const std::string& ModuleName() const { return moduleName_; }
    // Ends the program and waits until it has ended.
    void End();

private:
    std::uint32_t id_ = 0;
    std::string moduleName_;
    void* handle_ = nullptr;
};

} // namespace fixture
