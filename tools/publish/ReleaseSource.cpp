#include "ReleaseSource.h"

#include "Commit.h"
#include "Files.h"
#include "HttpGet.h"
#include "ReleaseFolder.h"
#include "release/ReleaseFormat.h"

namespace publish {

namespace {

class FolderSource : public ReleaseSource {
public:
    FolderSource(const std::string& folder, const std::string& outputs)
        : folder_(folder), names_(outputs) {}
    Result<std::string> Read(const std::string& name, std::uint64_t limit) override {
        return ReadFile(name == release::kListName ? names_.list : names_.signature, limit);
    }
    Result<FoundFile> Receive(const std::string& path) override {
        if (!Exists(Join(folder_, path))) {
            return Refusal("listed but missing");
        }
        return Examine(folder_, path);
    }
    std::string What() const override { return names_.signature; }

private:
    std::string folder_;
    OutputNames names_;
};

// Names a web server must not hand out: the key and history under the names the README
// gives them, the tool's own temporary files, and the usual names beginning with "." (a
// server that refuses those refuses every such name).
const char* const kNeverServed[] = {"maker.key",
                                    "maker.key.history",
                                    "filelist.txt.tmp",
                                    "filelist.txt.sig.tmp",
                                    "filelist.txt.old",
                                    ".git/HEAD",
                                    ".git/config",
                                    ".DS_Store",
                                    ".env",
                                    ".htaccess",
                                    ".htpasswd",
                                    ".ssh/id_rsa"};

class ServerSource : public ReleaseSource {
public:
    explicit ServerSource(Url base) : base_(std::move(base)) {}
    Result<std::string> Read(const std::string& name, std::uint64_t limit) override {
        std::string body;
        auto got = HttpGet(Below(base_, name), limit,
                           [&](const char* bytes, std::size_t size) { body.append(bytes, size); });
        if (!got) {
            return got.failure();
        }
        return body;
    }
    Result<FoundFile> Receive(const std::string& path) override {
        FoundFile found;
        found.path = path;
        platform::Sha256 hash;
        auto got =
            HttpGet(Below(base_, path), UINT64_MAX, [&](const char* bytes, std::size_t size) {
                hash.Update(bytes, size);
                found.size += size;
            });
        if (!got) {
            return Failure{got.failure().fault, got.problem()};
        }
        auto digest = hash.Finish();
        if (!digest) {
            return IoFailure("its hash could not be had");
        }
        found.digest = *digest;
        return found;
    }
    std::vector<std::string> ServedSecrets() override {
        std::vector<std::string> served;
        for (const char* name : kNeverServed) {
            auto status = HttpStatus(Below(base_, name));
            if (status && *status == 200) {
                served.push_back(name);
            }
        }
        return served;
    }
    std::string What() const override { return Text(Below(base_, release::kSignatureName)); }

private:
    Url base_;
};

} // namespace

Result<std::unique_ptr<ReleaseSource>> OpenSource(const std::string& operand,
                                                  const std::optional<std::string>& out) {
    // A folder's name holds no "://" (Windows takes no ":" past the drive).
    if (operand.find("://") == std::string::npos) {
        return std::unique_ptr<ReleaseSource>(
            std::make_unique<FolderSource>(operand, out.value_or(operand)));
    }
    if (out) {
        return Failure{Fault::Usage, "--out applies to a release folder, not to a URL"};
    }
    auto url = ParseUrl(operand);
    if (!url) {
        return url.failure();
    }
    return std::unique_ptr<ReleaseSource>(std::make_unique<ServerSource>(*url));
}
} // namespace publish
