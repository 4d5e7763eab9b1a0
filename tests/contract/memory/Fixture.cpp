#include "contract/Fixture.h"

#include "platform/memory/Machine.h"
#include "release/Names.h"

namespace fixture {

using platform::memory::TheMachine;

std::string ScratchFolder() {
    TheMachine().Reset();
    TheMachine().MakeFolders("C:\\Scratch");
    return "C:\\Scratch\\";
}

void MakeFolder(const std::string& path, std::uint32_t attributes) {
    TheMachine().MakeFolders(path, attributes);
}

void MakeFile(const std::string& path, const std::string& content, std::uint32_t attributes) {
    TheMachine().WriteFile(path, content, attributes);
}

std::optional<std::string> Content(const std::string& path) {
    return TheMachine().FileContent(path);
}

std::string ShortName(const std::string& path) {
    TheMachine().SetShortName(path, "PELMOR~1.TXT");
    return "PELMOR~1.TXT";
}

char MissingDrive() {
    return 'Q';
}

bool AllFolderAttributesKept() {
    return true;
}

void SetRegionalFormats(const std::string& shortDate, const std::string& timeFormat,
                        const std::string& am, const std::string& pm) {
    auto& regional = platform::memory::TheMachine().world.regional;
    regional.shortDate = shortDate;
    regional.timeFormat = timeFormat;
    regional.amDesignator = am;
    regional.pmDesignator = pm;
}

void SetEnv(const std::string& name, const std::string& value) {
    TheMachine().SetEnv(name, value);
}
void UnsetEnv(const std::string& name) {
    TheMachine().UnsetEnv(name);
}

HeldFile::HeldFile(const std::string& path) : path_(path) {
    TheMachine().HoldFile(path, true);
}
HeldFile::~HeldFile() {
    TheMachine().HoldFile(path_, false);
}

namespace {
const std::string kBase = std::string("http://update.test") + release::kUpdateBasePath;
}

bool ServerAvailable() {
    auto& m = TheMachine();
    m.Serve(kBase + "ok.bin", "release body\r\n");
    m.Serve(kBase + "empty.bin", "");
    m.Serve(kBase + "a b/c.txt", "inner\r\n");
    m.Serve(kBase + "big.bin", BigBody());
    m.world.http[kBase + "big.bin"].etag = "\"big-1\"";
    m.Serve(kBase + "ranged.bin", BigBody());
    m.world.http[kBase + "ranged.bin"].etag = "\"ranged-1\"";
    m.world.http[kBase + "ranged.bin"].contentRange = "bytes 1001-1048575/1048576";
    m.Serve(kBase + "slow.bin", BigBody());
    m.Serve(kBase + "framed.bin", "abcd");
    m.world.http[kBase + "framed.bin"].transferEncoded = true;
    m.Serve(kBase + "error.bin", "<html>injected error page</html>");
    m.world.http[kBase + "error.bin"].status = 500;
    m.Serve(kBase + "short.bin", std::string(100, 'x'));
    m.world.http[kBase + "short.bin"].cutAfter = 5;
    m.Serve(kBase + "drop.bin", std::string(100, 'y'));
    m.world.http[kBase + "drop.bin"].cutAfter = 0;
    m.world.http[kBase + "moved.bin"].status = 302;
    m.world.http[kBase + "moved.bin"].redirectTo = kBase + "ok.bin";
    m.world.http[kBase + "loop.bin"].status = 302;
    m.world.http[kBase + "loop.bin"].redirectTo = kBase + "loop.bin";
    m.Serve(kBase + "missing.bin", "not found");
    m.world.http[kBase + "missing.bin"].status = 404;
    for (const char* name :
         {"chunked", "chunked-cut", "chunked-nolast", "nolength", "nolength-cut"}) {
        m.Serve(kBase + name + ".bin", std::string(10000, 'c'));
        m.world.http[kBase + name + ".bin"].lengthSent = false;
    }
    m.world.http[kBase + "chunked-cut.bin"].cutAfter = 5000;
    m.world.http[kBase + "nolength-cut.bin"].cutAfter = 5000;
    m.Serve(kBase + "gzip.bin", std::string("\x1f\x8b\x08\x00", 4) + "compressed");
    m.world.http[kBase + "gzip.bin"].contentEncoding = "gzip";
    m.Serve(kBase + "deflate.bin", std::string("\x78\x9c", 2) + "compressed");
    m.world.http[kBase + "deflate.bin"].contentEncoding = "deflate";
    m.Serve(kBase + "huge.bin", std::string(4000, 'x'));
    m.world.http[kBase + "huge.bin"].announcedLength = 1ull << 50;
    m.Serve(kBase + "headers.bin", "");
    m.world.http[kBase + "headers.bin"].headerBytes = 400000000;
    for (int n = 0; n < kRedirectChain; ++n) {
        auto& hop = m.world.http[kBase + "hop" + std::to_string(n) + ".bin"];
        hop.status = 302;
        hop.redirectTo = kBase + (n + 1 < kRedirectChain ? "hop" + std::to_string(n + 1) + ".bin"
                                                         : std::string("ok.bin"));
    }
    return true;
}

std::string ServerUrl(const std::string& name) {
    return kBase + name;
}

std::string RefusedUrl() {
    TheMachine().world.http["http://127.0.0.1:9/x"].refused = true;
    return "http://127.0.0.1:9/x";
}

RunningProgram::RunningProgram() : id_(4242), moduleName_("quorvel_sleeper.exe") {
    TheMachine().world.processes.push_back({id_, moduleName_, true, true});
}

RunningProgram::~RunningProgram() {
    End();
}

void RunningProgram::End() {
    for (auto& p : TheMachine().world.processes) {
        if (p.id == id_) {
            p.running = false;
        }
    }
}

} // namespace fixture
